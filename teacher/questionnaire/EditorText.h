#pragma once

// The texts of the questionnaire editor: its fixed guide, the count of
// questions, and the questionnaire text converted to the editor's box and
// back.

#include <QChar>
#include <QString>
#include <QStringView>

namespace questionnaire {

// The editor's fixed guide to the file format: ten lines joined by a lone CR,
// with an empty second line.
QString guideText();

// "アンケート数　 3問" for lastQuestion 2: the number of questions in
// sign-position form.
QString questionCountText(int lastQuestion);

// A noncharacter that stands in the editor's box for a paragraph separator
// (U+2029) of the questionnaire text, which the box would otherwise turn into
// one of its own line breaks.
inline constexpr QChar kHeldParagraphSeparator{char16_t(0xFDEF)};

// The questionnaire text as the editor's box takes it: every CR LF (or a lone
// CR or LF) becomes "\n"; a line separator (U+2028) stays as it is, a
// paragraph separator becomes kHeldParagraphSeparator.
QString textForEditor(QStringView questionnaireText);

// The editor's text back in the questionnaire's form: every line break,
// whether "\n", CR LF, a lone CR or the paragraph separator between a text
// document's blocks, becomes CR LF. A line separator is text the file held
// (the box types none, see frmTextEdit) and stays; kHeldParagraphSeparator
// becomes the paragraph separator again.
QString textFromEditor(QStringView editorText);

} // namespace questionnaire
