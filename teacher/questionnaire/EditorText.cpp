// The texts of the questionnaire editor and the conversion of line breaks
// between the questionnaire file and the editor's box.
#include "EditorText.h"

#include "exchange/NumberText.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace questionnaire {

QString guideText()
{
    static const QStringList lines = {
        u"アンケート文の書き方"_s,
        u""_s,
        u"コンピュータを使うことが得意ですか？　　　←アンケート文"_s,
        u"はい　　　　　　　　　　　　　　　　　　　←回答１"_s,
        u"いいえ　　　　　　　　　　　　　　　　　　←回答２"_s,
        u"どちらでもない　　　　　　　　　　　　　　←回答３"_s,
        u"　　　　　　　　　　←次のアンケート間は改行だけ"_s,
        u"/コメント文 　　　　←半角/ で始まる行はコメント行（表示されない）"_s,
        u"/回答数は２～５にして下さい。（６以上は表示しません）"_s,
        u"/アンケートの項目は最大３０まで。"_s,
    };
    return lines.join(u'\r');
}

QString questionCountText(int lastQuestion)
{
    return u"アンケート数　"_s + exchange::signPositionText(lastQuestion + 1) + u"問"_s;
}

QString textForEditor(QStringView questionnaireText)
{
    // Only CR and LF count here: other separators are text the file held. A
    // text document would take a paragraph separator for a line break of its
    // own, so it stands in the box as kHeldParagraphSeparator.
    QString text = questionnaireText.toString();
    text.replace(u"\r\n"_s, u"\n"_s);
    text.replace(u'\r', u'\n');
    text.replace(QChar::ParagraphSeparator, kHeldParagraphSeparator);
    return text;
}

QString textFromEditor(QStringView editorText)
{
    QString text;
    text.reserve(editorText.size() + editorText.size() / 16);
    for (qsizetype i = 0; i < editorText.size(); ++i) {
        const QChar c = editorText[i];
        if (c == kHeldParagraphSeparator) {
            text += QChar::ParagraphSeparator;
        } else if (c == u'\r' || c == u'\n' || c == QChar::ParagraphSeparator) {
            text += u"\r\n"_s;
            if (c == u'\r' && i + 1 < editorText.size() && editorText[i + 1] == u'\n')
                ++i;
        } else {
            text += c;
        }
    }
    return text;
}

} // namespace questionnaire
