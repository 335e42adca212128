#include "LessonReportPdf.h"

#include "TeacherUi.h"

#include <QDir>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

using namespace Qt::StringLiterals;

namespace teacher {
namespace {

// Drawing units are points: 595 x 842 on A4.
constexpr int kResolution = 72;
constexpr double kMargin = 42;
constexpr double kGraphHeight = 250;
// The main window's graph is 1016 pixels wide; bars stand 8 pixels a pupil.
constexpr double kScreenWidth = 1016;
constexpr int kBarLeft[5] = {32, 232, 432, 632, 832};
constexpr int kBarWidth = 120;
constexpr int kItemLeft[5] = {0, 208, 408, 600, 800};
constexpr double kFullBar = 160; // 50 pupils
constexpr double kBaseLine = 190;

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
        const QRectF box(kMargin + indent, m_y, m_width - indent, m_bottom - m_y);
        const QRectF used = m_painter.boundingRect(box, Qt::TextWordWrap, text);
        m_painter.drawText(box, Qt::TextWordWrap, text);
        m_y += used.height() + pointSize * 0.35;
    }
    void space(double points) { m_y += points; }
    // A new page unless height points still fit on this one.
    void keep(double height)
    {
        if (m_y + height > m_bottom && m_y > kMargin) {
            m_writer.newPage();
            m_y = kMargin;
        }
    }

    void graph(const tally::ReportQuestion &question)
    {
        const double scale = m_width / kScreenWidth;
        const QRectF panel(kMargin, m_y, m_width, kGraphHeight);
        m_painter.fillRect(panel, graphBackground());
        const std::optional<tally::BarLayout> layout = tally::barPosition(question.answers);
        for (int a = 0; layout && a < question.answers; ++a) {
            const int p = layout->positionOfAnswer[a];
            const double height = kFullBar * question.counts[a] / 50.0;
            const QRectF bar(panel.left() + kBarLeft[p] * scale, panel.top() + kBaseLine - height,
                             kBarWidth * scale, height);
            m_painter.fillRect(bar, barColour(p));
            const bool correct = question.correct == a + 1;
            if (correct) {
                // Black inside white: it shows on the dark ground and on paper.
                const QRectF outline = bar.adjusted(-4, -4, 4, 0);
                m_painter.setPen(QPen(Qt::white, 6));
                m_painter.drawRect(outline);
                m_painter.setPen(QPen(Qt::black, 2.5));
                m_painter.drawRect(outline);
            }
            m_painter.setPen(Qt::white);
            m_painter.setFont(gothicFont(20));
            const QRectF sum(panel.left() + 200 * p * scale, panel.top() + 2, 199 * scale,
                             kBaseLine - height - 6);
            m_painter.drawText(sum, Qt::AlignHCenter | Qt::AlignBottom,
                               QString::number(question.counts[a]) + u"人"_s);
            const QRectF item(panel.left() + kItemLeft[p] * scale, panel.top() + kBaseLine + 4,
                              185 * scale, kGraphHeight - kBaseLine - 6);
            m_painter.setFont(gothicFont(11));
            m_painter.drawText(item, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                               question.texts[a + 1]);
            if (correct) {
                const QRectF tag(item.left(), panel.bottom() - 20, 44, 18);
                m_painter.fillRect(tag, Qt::white);
                m_painter.setPen(QPen(Qt::black, 1.5));
                m_painter.drawRect(tag);
                m_painter.setFont(gothicFont(11, true));
                m_painter.drawText(tag, Qt::AlignCenter, u"正解"_s);
            }
        }
        m_y += kGraphHeight + 8;
    }

    void seatTable(const tally::LessonReport &report)
    {
        constexpr int kColumns = 5;
        const int rows = (report.studentsMax + kColumns - 1) / kColumns;
        const double rowHeight = 17;
        const double columnWidth = m_width / kColumns;
        m_painter.setFont(gothicFont(10.5));
        for (int seat = 1; seat <= report.studentsMax; ++seat) {
            const int column = (seat - 1) / rows;
            const int row = (seat - 1) % rows;
            const QRectF cell(kMargin + column * columnWidth, m_y + row * rowHeight,
                              columnWidth, rowHeight);
            m_painter.setPen(QPen(Qt::gray, 0.5));
            m_painter.drawRect(cell);
            m_painter.setPen(Qt::black);
            m_painter.drawText(cell.adjusted(6, 0, -6, 0), Qt::AlignVCenter | Qt::AlignLeft,
                               u"%1番"_s.arg(seat));
            // A seat that never answered was perhaps empty: a dash, not 0.
            m_painter.drawText(cell.adjusted(6, 0, -6, 0), Qt::AlignVCenter | Qt::AlignRight,
                               report.answeredAny[seat]
                                   ? u"%1 / %2"_s.arg(report.correctBySeat[seat])
                                         .arg(report.markedQuestions)
                                   : u"－"_s);
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

QString percentText(const std::optional<int> &percent)
{
    return percent ? QString::number(*percent) + u"%"_s : u"－"_s;
}

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
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(0, 0, 0, 0)));
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
            page.keep(kGraphHeight + 60 + 16 * question.answers);
            page.text(u"第%1問　"_s.arg(question.number) + question.texts[0], 13, true);
            page.graph(question);
            for (int a = 0; a < question.answers; ++a) {
                // Joined, not formatted: a label may hold "%1" itself.
                page.text(QString::number(a + 1) + u". "_s + question.texts[a + 1] + u"　"_s +
                              QString::number(question.counts[a]) + u"人（"_s +
                              percentText(question.percents[a]) + u"）"_s +
                              (question.correct == a + 1 ? u"　← 正解"_s : QString()),
                          10.5, false, 8);
            }
            QString total = u"回答 %1人"_s.arg(question.answered);
            if (question.correct != 0)
                total += u"　正答率 "_s + percentText(question.correctPercent);
            page.text(total, 10.5, true, 8);
            page.space(12);
        }

        if (report.markedQuestions > 0) {
            page.keep(60 + 17 * 10);
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

} // namespace teacher
