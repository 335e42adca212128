#include "LessonReportPdf.h"

#include "TeacherUi.h"

#include "teacher/tally/ReportBars.h"

#include <QDir>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace teacher::forms {
namespace {

// Drawing units are points: 595 x 842 on A4.
constexpr int kResolution = 72;
constexpr double kMargin = 42;

// The report is for paper: black text on white, bars as light tints in thin
// outlines, no dark fills. The screen's graph keeps its own look.
const QColor kBarTint(221, 230, 242);
const QColor kBarEdge(96, 96, 96);
const QColor kCorrectTint(214, 238, 214);
const QColor kAxis(160, 160, 160);
// An answer's words take this share of the text width, its bar the rest.
constexpr double kWordsShare = 0.5;
constexpr double kIndent = 8;
constexpr double kBarHeight = 11;
constexpr double kEarlierHeight = 5;
constexpr double kRowGap = 4;
constexpr double kAnswerPoints = 10.5;

class ReportPainter
{
public:
    ReportPainter(QPdfWriter &writer) : m_writer(writer), m_painter(&writer)
    {
        const QRect page = m_painter.viewport();
        m_width = page.width() - 2 * kMargin;
        m_bottom = page.height() - kMargin;
        m_y = kMargin;
    }
    bool isActive() const { return m_painter.isActive(); }

    // Text at the cursor, wrapped to the page's width; the cursor moves below.
    void text(const QString &text, double pointSize, bool bold = false, double indent = 0)
    {
        m_painter.setFont(gothicFont(pointSize, bold));
        m_painter.setPen(Qt::black);
        // Measured first: a text that does not fit below goes to a new page.
        const auto box = [&] {
            return QRectF(kMargin + indent, m_y, m_width - indent, m_bottom - kMargin);
        };
        const QRectF used = m_painter.boundingRect(box(), Qt::TextWordWrap, text);
        keep(used.height());
        m_painter.drawText(box(), Qt::TextWordWrap, text);
        m_y += used.height() + pointSize * 0.35;
    }
    void space(double points) { m_y += points; }
    // A new page unless height points still fit on this one; true when it
    // began one.
    bool keep(double height)
    {
        if (m_y + height > m_bottom && m_y > kMargin) {
            m_writer.newPage();
            m_y = kMargin;
            return true;
        }
        return false;
    }

    // One row per answer: the answer, its count and share, and for the
    // correct one "← 正解", then its bar, scaled to the question's largest
    // count (the correct one tinted green in a black outline, which tells it
    // in black and white too). The words of every row start at one place,
    // so that a reader of the PDF's text gets them in order.
    void answerBars(const tally::ReportQuestion &question)
    {
        const std::array<tally::ReportBar, tally::kBars> bars = tally::reportBars(question);
        const double left = kMargin + kIndent;
        const double wordsWidth = m_width * kWordsShare;
        const double barLeft = left + wordsWidth + kIndent;
        const double fullBar = kMargin + m_width - barLeft;
        double top = m_y;
        m_painter.setFont(gothicFont(kAnswerPoints));
        for (int a = 0; a < question.answers; ++a) {
            const bool correct = question.correct == a + 1;
            // Joined, not formatted: a label may hold "%1" itself. Plain
            // spaces: wide gaps lined up from row to row would read as a
            // column break to a reader of the PDF's text.
            const QString words = QString::number(a + 1) + u". "_s + question.texts[a + 1] +
                                  u" "_s + bars[a].caption + (correct ? u" ← 正解"_s : QString());
            // Each row whole on a page: one that does not fit goes to the next.
            const auto box = [&] { return QRectF(left, m_y, wordsWidth, m_bottom - kMargin); };
            m_painter.setPen(Qt::black);
            const QRectF used = m_painter.boundingRect(box(), Qt::TextWordWrap, words);
            // The bar, and the vote before's under it.
            const double barsHeight =
                kBarHeight + 4 + (bars[a].earlierLength ? kEarlierHeight + 1 : 0);
            const double rowHeight = std::max(used.height(), barsHeight);
            if (keep(rowHeight))
                top = m_y;
            m_painter.drawText(box(), Qt::TextWordWrap, words);
            const double length = fullBar * bars[a].length;
            if (length > 0) {
                const QRectF bar(barLeft, m_y + 2, length, kBarHeight);
                m_painter.fillRect(bar, correct ? kCorrectTint : kBarTint);
                m_painter.setPen(correct ? QPen(Qt::black, 1.5) : QPen(kBarEdge, 0.6));
                m_painter.drawRect(bar);
            }
            // The vote before, on the same scale right under it: a dashed
            // outline without fill.
            const double earlier = fullBar * bars[a].earlierLength.value_or(0);
            if (earlier > 0) {
                m_painter.setPen(QPen(kBarEdge, 0.6, Qt::DashLine));
                m_painter.drawRect(QRectF(barLeft, m_y + 3 + kBarHeight, earlier, kEarlierHeight));
            }
            m_painter.setPen(Qt::black);
            m_y += rowHeight + kRowGap;
        }
        // The bars' common start.
        m_painter.setPen(QPen(kAxis, 0.6));
        m_painter.drawLine(QPointF(barLeft, top), QPointF(barLeft, m_y - kRowGap));
        m_y += 2;
    }

    // The correct answers of each seat; with names, fewer columns so that
    // they have room, each name cut to its cell.
    void seatTable(const tally::LessonReport &report)
    {
        const bool named = std::any_of(report.seatNames.begin(), report.seatNames.end(),
                                       [](const QString &name) { return !name.isEmpty(); });
        const int columns = named ? 3 : 5;
        const int rows = (report.studentsMax + columns - 1) / columns;
        const double rowHeight = 17;
        const double columnWidth = m_width / columns;
        const QFont font = gothicFont(10.5);
        m_painter.setFont(font);
        const QFontMetricsF metrics(font, m_painter.device());
        for (int seat = 1; seat <= report.studentsMax; ++seat) {
            const int column = (seat - 1) / rows;
            const int row = (seat - 1) % rows;
            const QRectF cell(kMargin + column * columnWidth, m_y + row * rowHeight, columnWidth,
                              rowHeight);
            m_painter.setPen(QPen(Qt::gray, 0.5));
            m_painter.drawRect(cell);
            m_painter.setPen(Qt::black);
            // A seat that never answered was perhaps empty: a dash, not 0.
            const QString score =
                report.answeredAny[seat]
                    ? u"%1 / %2"_s.arg(report.correctBySeat[seat]).arg(report.markedQuestions)
                    : u"－"_s;
            const QRectF inner = cell.adjusted(6, 0, -6, 0);
            QString seatText = u"%1番"_s.arg(seat);
            if (!report.seatNames[seat].isEmpty()) {
                const double room = inner.width() - metrics.horizontalAdvance(seatText + u' ') -
                                    metrics.horizontalAdvance(score + u"  "_s);
                seatText += u' ' + metrics.elidedText(report.seatNames[seat], Qt::ElideRight,
                                                      std::max(0.0, room));
            }
            m_painter.drawText(inner, Qt::AlignVCenter | Qt::AlignLeft, seatText);
            m_painter.drawText(inner, Qt::AlignVCenter | Qt::AlignRight, score);
        }
        m_y += rows * rowHeight + 8;
    }

    bool end() { return m_painter.end(); }

private:
    QPdfWriter &m_writer;
    QPainter m_painter;
    double m_width = 0;
    double m_bottom = 0;
    double m_y = 0;
};

} // namespace

exchange::FileStatus writeLessonReportPdf(const tally::LessonReport &report, const QString &path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return exchange::FileStatus::failure(file.errorString());
    {
        QPdfWriter writer(&file);
        writer.setTitle(u"授業のまとめ "_s + report.date.toString(u"yyyy-MM-dd"_s));
        writer.setCreator(u"オンブラ集計"_s);
        writer.setResolution(kResolution);
        writer.setPageLayout(
            QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
        ReportPainter page(writer);
        if (!page.isActive()) {
            file.cancelWriting();
            return exchange::FileStatus::failure(u"PDF を作れません"_s);
        }
        page.text(u"授業のまとめ"_s, 20, true);
        page.space(4);
        page.text(u"日付："_s + report.date.toString(u"yyyy年M月d日"_s), 11);
        page.text(u"教室のフォルダ："_s + QDir::toNativeSeparators(report.folder), 11);
        page.text(u"出した質問：%1問"_s.arg(report.questions.size()), 11);
        page.text(u"答えた生徒：%1人"_s.arg(report.pupils), 11);
        if (report.markedQuestions > 0)
            page.text(u"正解のある質問：%1問"_s.arg(report.markedQuestions), 11);
        page.space(10);

        for (const tally::ReportQuestion &question : report.questions) {
            page.keep(60 + (kBarHeight + 4 + kRowGap) * question.answers);
            const QString vote =
                question.vote > 1 ? u"（"_s + tally::voteLabel(question.vote) + u"）"_s : QString();
            page.text(u"第%1問"_s.arg(question.number) + vote + u' ' + question.texts[0], 13, true);
            page.answerBars(question);
            QString total = u"回答 %1人"_s.arg(question.answered);
            if (question.correct != 0)
                total += u" 正答率 "_s + tally::percentText(question.correctPercent);
            page.text(total, 10.5, true, 8);
            page.space(12);
        }

        if (report.markedQuestions > 0) {
            page.keep(60 + 17 * 17); // the table's rows for fifty seats with names
            page.text(u"席ごとの正答数（先生用：生徒には見せないでください）"_s, 13, true);
            page.text(u"正解のある %1問のうち、正しく答えた数（－は一度も答えなかった席）"_s.arg(
                          report.markedQuestions),
                      10.5);
            page.seatTable(report);
        }
        if (!page.end()) {
            file.cancelWriting();
            return exchange::FileStatus::failure(u"PDF を書き込めません"_s);
        }
    }
    if (!file.commit())
        return exchange::FileStatus::failure(file.errorString());
    return {};
}

} // namespace teacher::forms
