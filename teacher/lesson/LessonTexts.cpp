#include "LessonTexts.h"

using namespace Qt::StringLiterals;

namespace lesson::texts {

QString programTitle()
{
    return u"オンブラ集計 先生用プログラム"_s;
}

QString publishFailed(const QString &firstPath, int failedFiles, int totalFiles,
                      const QString &reason)
{
    return u"生徒の席へのファイルを書き込めませんでした。\n\n"
           u"最初に書き込めなかったファイル: %1\n"
           u"書き込めなかったファイルの数: %2 / %3\n"
           u"理由: %4\n\n"
           u"「再試行」で書き込めなかった席だけにもう一度書き込みます"
           u"（書き込めた席の生徒の回答はそのまま残ります）。"
           u"「続行」で書き込めなかった席をそのままにして続けます。"_s.arg(firstPath)
               .arg(failedFiles)
               .arg(totalFiles)
               .arg(reason);
}

QString folderInUse(const QString &host)
{
    return u"このフォルダでは、このパソコン（%1）の先生用プログラムがもう授業をしています。\n\n"
           u"一つのフォルダで先生用プログラムを二つ動かすことはできません。"
           u"このプログラムは何もせずに終了します。"_s.arg(host);
}

QString takeOverFolder(const QString &host, const QDateTime &since)
{
    return u"このフォルダでは、パソコン「%1」の先生用プログラムが %2 から授業をしています。\n\n"
           u"そのパソコンのプログラムが終わっている（電源が切れた、止まった）ときだけ、"
           u"「はい」でこのパソコンが授業を引き継ぎます。"
           u"「いいえ」でこのプログラムは何もせずに終了します。"_s.arg(
               host, since.toString(u"M月d日 H:mm"_s));
}

QString folderLockFailed(const QString &path, const QString &reason)
{
    return u"先生用プログラムの使用中を示すファイル「%1」を作れませんでした。\n理由: %2\n\n"
           u"このプログラムは何もせずに終了します。"_s.arg(path, reason);
}

namespace {

// A list of paths, one to a line, each indented.
QString pathLines(const QStringList &paths)
{
    return u"\n　"_s + paths.join(u"\n　"_s);
}

QString keptIn(const QStringList &paths)
{
    return paths.isEmpty()
               ? u"回答はまだどのファイルにも残っていません。\n"_s
               : u"回答はすべて次の途中の記録に残っています。"_s + pathLines(paths) + u'\n';
}

} // namespace

QString recordFailed(const QString &path, const QString &reason, const RecordState &state)
{
    return u"「%1」を書き込めませんでした。\n"
           u"理由: %2\n\n"
           u"回答の記録と結果のファイルは、二つそろえて同じフォルダに書きます。\n"
           u"書き込んだファイル:%3\n"
           u"書き込めていないファイル:%4\n"_s.arg(
               path, reason, state.written.isEmpty() ? u" なし"_s : pathLines(state.written),
               pathLines(state.notWritten)) +
           keptIn(state.keptIn) +
           u"\n生徒のプログラムにはもう終了を伝えてあります。"
           u"表計算ソフトで開いている場合は閉じてから「再試行」を押してください。"
           u"「別の場所に保存...」では、選んだ場所にこのファイルを、同じフォルダに"
           u"もう一方のファイルを書きます。"
           u"「記録せずに終了」では、書き込んだファイルも取り消して、どちらも残しません。"_s;
}

QString confirmEndWithoutRecord(const RecordState &state)
{
    QString text = u"回答の記録と結果を保存しないで終了すると、次のファイルは書き込まれません。"_s +
                   pathLines(state.notWritten) + u'\n';
    if (!state.written.isEmpty())
        text += u"次のファイルは取り消せなかったので、もう一方のファイルがないまま残ります。"_s +
                pathLines(state.written) + u'\n';
    if (state.keptIn.isEmpty())
        text += u"回答はどのファイルにも残らず、この授業の回答の記録はなくなります。\n"_s;
    else
        text += u"回答は次の途中の記録に残り、次に先生用プログラムを始めたときに"
                u"日付の付いた名前で残します。"_s +
                pathLines(state.keptIn) + u'\n';
    return text + u"\n本当に記録を保存しないで終了しますか？"_s;
}

QString unfinishedRecordFound(const QStringList &kept, const QStringList &stuck)
{
    QString text = u"前回の授業は正しく終了しませんでした。\n"_s;
    if (!kept.isEmpty())
        text +=
            u"その授業の途中までの記録を次のファイルに残しました。\n"_s + kept.join(u'\n') + u'\n';
    if (!stuck.isEmpty())
        text += u"\n次の途中の記録は名前を変えられなかったので、そのまま残してあります。"
                u"上書きしないように、この授業ではその途中の記録を作りません。\n"_s +
                stuck.join(u'\n') + u'\n';
    return text;
}

QString loadFailed(const QString &path, const QString &reason)
{
    return u"アンケートのファイル「%1」を読み込めませんでした。\n理由: %2"_s.arg(path, reason);
}

QString saveFailed(const QString &path, const QString &reason)
{
    return u"アンケートのファイル「%1」に保存できませんでした。\n理由: %2\n\n"
           u"編集中の文章はそのまま残っています。"_s.arg(path, reason);
}

QString unencodable(const QString &path, const QString &characters)
{
    return u"アンケートのファイル「%1」を読み込みましたが、"
           u"生徒のパソコンに送れない文字があります：「%2」\n\n"
           u"これらの文字は生徒の画面では「?」になります。"
           u"別の文字に直して保存し、開き直してください。"_s.arg(path, characters);
}

QString marksReported(const QString &path, const QStringList &problems)
{
    // A long list is cut so that the box fits the screen.
    constexpr int kShown = 12;
    QStringList lines = problems.mid(0, kShown);
    if (problems.size() > kShown)
        lines << u"ほか %1件"_s.arg(problems.size() - kShown);
    return u"アンケートのファイル「%1」を読み込みました。正解の行（/正解）について：\n\n%2"_s.arg(
        path, lines.join(u'\n'));
}

} // namespace lesson::texts
