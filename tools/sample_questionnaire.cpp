// Writes the demo classroom's sample questionnaire through the teacher's
// program's own save path, so it is code page 932 exactly as the program
// writes questionnaires. Usage: sample_questionnaire FILE
#include "teacher/questionnaire/Questionnaire.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: sample_questionnaire FILE\n");
        return 2;
    }
    const QString text = u"/オンブラのお試しアンケート\r\n"
                         u"\r\n"
                         u"コンピュータを使うことが得意ですか？\r\n"
                         u"はい\r\n"
                         u"いいえ\r\n"
                         u"どちらでもない\r\n"
                         u"\r\n"
                         u"好きな季節はどれですか？\r\n"
                         u"春\r\n"
                         u"夏\r\n"
                         u"秋\r\n"
                         u"冬\r\n"
                         u"\r\n"
                         u"日本でいちばん高い山はどれですか？\r\n"
                         u"富士山\r\n"
                         u"北岳\r\n"
                         u"奥穂高岳\r\n"
                         u"/正解 1\r\n"
                         u"\r\n"
                         u"３×４はいくつですか？\r\n"
                         u"７\r\n"
                         u"１２\r\n"
                         u"３４\r\n"
                         u"４３\r\n"
                         u"/正解 2\r\n"
                         u"\r\n"
                         u"水は100℃でこおる。\r\n"
                         u"○\r\n"
                         u"×\r\n"
                         u"/正解 2\r\n"
                         u"\r\n"
                         u"今日の授業はわかりましたか？\r\n"
                         u"よくわかった\r\n"
                         u"だいたいわかった\r\n"
                         u"少しわかった\r\n"
                         u"あまりわからなかった\r\n"
                         u"わからなかった\r\n"_s;
    const exchange::FileStatus status =
        questionnaire::saveFile(args[1], text, questionnaire::TextEncoding::Cp932);
    if (!status.ok) {
        std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(args[1]),
                     qPrintable(status.error));
        return 1;
    }
    return 0;
}
