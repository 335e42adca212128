#pragma once

#include <QString>
#include <QStringView>

namespace exchange {

// The number-reading rule shared by both programs (seat entries, answer
// counts, every number slot of the exchange files):
//  - blanks, tabs and line feeds anywhere in the text are ignored ("1 2" is 12);
//  - from the start: an optional sign, digits, an optional decimal point with
//    digits, an optional exponent (E or e, optional sign, digits);
//  - "&H" and "&O" (either case) read hexadecimal and octal digits;
//  - reading stops at the first character that cannot continue the number
//    ("7abc" is 7, "1.2.3" is 1.2, "1e" is 1);
//  - a text that does not begin with a number gives 0 ("abc", "", "-");
//  - only ASCII digits are digits: full-width "１" gives 0.
// A value beyond the range of double gives plus or minus infinity.
double readNumber(QStringView text);

// True when the whole text, apart from blanks, tabs and line feeds, is a
// number by the rule above (" 100 " and "&H1F" are, "7abc" and "" are not).
bool isNumericText(QStringView text);

// Whole-number test used where only whole numbers make sense (seat numbers).
bool isWholeNumber(double value);

// The digits of a number: "-" for a negative one, no blanks; whole values
// without a decimal point ("3", "-1", "100"), others with at most 15
// significant digits ("2.5").
QString numberDigits(double value);

// Sign-position form used in captions and the answer-count field of the
// question table: a blank before a number that is not negative (" 1"), the
// minus sign before a negative one ("-1").
QString signPositionText(double value);

// Number form of the exchange files and the answer record, without a line
// end: blank, digits, blank (" 3 "); a negative number "-3 ".
QString numberFieldText(double value);

} // namespace exchange
