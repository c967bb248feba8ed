#include "CommandLine.h"

#include "Paths.h"

#include <QCommandLineParser>
#include <QStringDecoder>

#include <algorithm>

namespace brinmoor::cli {

namespace {

// Enough for any machine; a typo such as -j 10000000 must not start that
// many threads.
constexpr int MaxJobs = 1024;

// A word is text, not a path: its bytes are read as a file's text is read,
// so that it matches what the count sees. Bytes that are not UTF-8 become
// U+FFFD, as they do in a file, and a leading byte-order mark is kept: it is
// part of the word, not a sign of its encoding. An ASCII word reads as it
// stands and is kept as it is, not copied.
QStringList wordsAsText(QStringList words)
{
    for (QString &word : words) {
        if (std::all_of(word.cbegin(), word.cend(), [](QChar c) { return c.unicode() < 0x80; }))
            continue;
        QStringDecoder decoder(QStringConverter::Utf8,
                               QStringConverter::Flag::ConvertInitialBom | QStringConverter::Flag::Stateless);
        word = decoder.decode(nativePath(word));
    }
    return words;
}

// Takes the exclusion words out of the arguments before QCommandLineParser
// sees them: it keeps a copy of every option name and value it meets, so a
// few hundred thousand -x WORD arguments were held three times over. Only
// the forms whose reading is certain are taken, in the parser's own terms
// (-x WORD, -xWORD, -x=WORD, --exclude WORD, --exclude=WORD), and only while
// everything before them is known to take no value from the next argument;
// the first argument that is not leaves it and all after it to the parser.
// Each argument taken is freed at once.
QStringList takeWords(QStringList &arguments)
{
    const auto isFlags = [](const QString &a) {
        if (a == QLatin1String("--separate") || a == QLatin1String("--exclude-blank") || a == QLatin1String("--null")
            || a == QLatin1String("--help") || a == QLatin1String("--version"))
            return true;
        return a.size() > 1 && !a.startsWith(QLatin1String("--"))
            && std::all_of(a.cbegin() + 1, a.cend(), [](QChar c) { return QStringView(u"sb0h").contains(c); });
    };
    const auto takesNext = [](const QString &a) {
        for (const char *name : {"-e", "-j", "--ext", "--jobs", "--files-from", "--format", "--summary"})
            if (a == QLatin1String(name))
                return true;
        return false;
    };
    QStringList words;
    words.reserve(arguments.size() - 1);   // no more than the arguments: never grown by copying
    qsizetype kept = 1;   // the program's name stays first
    qsizetype at = 1;
    for (; at < arguments.size(); ++at) {
        QString &a = arguments[at];
        if (a == QLatin1String("-x") || a == QLatin1String("--exclude")) {
            if (at + 1 == arguments.size())
                break;   // the parser tells that the value is missing
            a = QString();
            words << std::move(arguments[++at]);
        } else if (a.startsWith(QLatin1String("-x"))) {
            words << a.mid(a.at(2) == u'=' ? 3 : 2);
            a = QString();
        } else if (a.startsWith(QLatin1String("--exclude="))) {
            words << a.mid(10);
            a = QString();
        } else if (a == QLatin1String("--")) {
            break;
        } else if (takesNext(a) && at + 1 < arguments.size()) {
            arguments[kept++] = std::move(a);
            arguments[kept++] = std::move(arguments[++at]);
        } else if (!a.startsWith(u'-') || a.size() == 1 || isFlags(a)) {
            arguments[kept++] = std::move(a);
        } else {
            break;
        }
    }
    for (; at < arguments.size(); ++at)
        arguments[kept++] = std::move(arguments[at]);
    arguments.resize(kept);
    arguments.squeeze();
    return words;
}

} // namespace

ParsedCommandLine parseCommandLine(QStringList arguments)
{
    QStringList words = arguments.isEmpty() ? QStringList() : takeWords(arguments);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Counts the lines of text files. A folder adds every file below it, level by level."));
    const QCommandLineOption separate({QStringLiteral("s"), QStringLiteral("separate")},
                                      QStringLiteral("One row per file instead of the single total row."));
    const QCommandLineOption blank({QStringLiteral("b"), QStringLiteral("exclude-blank")},
                                   QStringLiteral("Lines of spaces only do not count."));
    const QCommandLineOption exclude({QStringLiteral("x"), QStringLiteral("exclude")},
                                     QStringLiteral("Lines containing WORD do not count (repeatable)."),
                                     QStringLiteral("WORD"));
    const QCommandLineOption filesFrom(QStringLiteral("files-from"),
                                       QStringLiteral("Read paths from FILE, one a line (- for standard input)."),
                                       QStringLiteral("FILE"));
    const QCommandLineOption null({QStringLiteral("0"), QStringLiteral("null")},
                                  QStringLiteral("With --files-from, paths are NUL-separated."));
    const QCommandLineOption ext({QStringLiteral("e"), QStringLiteral("ext")},
                                 QStringLiteral("For folders, only files matching *.EXT."), QStringLiteral("EXT"));
    const QCommandLineOption jobs({QStringLiteral("j"), QStringLiteral("jobs")},
                                  QStringLiteral("Worker threads (default: every core)."), QStringLiteral("N"));
    const QCommandLineOption format(QStringLiteral("format"),
                                    QStringLiteral("Output: text (the result rows), csv or json."),
                                    QStringLiteral("FORMAT"), QStringLiteral("text"));
    const QCommandLineOption summary(QStringLiteral("summary"),
                                     QStringLiteral("Add the lines up by extension (ext) or by folder (folder, or "
                                                    "folder=DEPTH for DEPTH levels below the common folder); with -s "
                                                    "the file rows come first."),
                                     QStringLiteral("VIEW"));
    // Our own help and version options: QCommandLineParser's would exit
    // the process, which the tests that call this cannot have.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Show the version."));
    for (const QCommandLineOption *o : {&separate, &blank, &exclude, &filesFrom, &null, &ext, &jobs, &format, &summary, &help,
                                        &version})
        parser.addOption(*o);
    parser.addPositionalArgument(QStringLiteral("PATH"), QStringLiteral("Files and folders to count."),
                                 QStringLiteral("PATH..."));

    ParsedCommandLine result;
    auto usageError = [&result](const QString &message) {
        result.action = ParsedCommandLine::Action::UsageError;
        result.text = message;
        return result;
    };
    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (parser.isSet(help)) {
        result.action = ParsedCommandLine::Action::Help;
        // The usage line names the program as installed, not as started.
        QString text = parser.helpText();
        const qsizetype endOfUsage = text.indexOf(QLatin1Char('\n'));
        text.replace(0, endOfUsage, QStringLiteral("Usage: brinmoor-count [options] PATH..."));
        if (!text.endsWith(QLatin1Char('\n')))
            text += QLatin1Char('\n');
        result.text = text;
        return result;
    }
    if (parser.isSet(version)) {
        result.action = ParsedCommandLine::Action::Version;
        result.text = QStringLiteral("brinmoor-count " BRINMOOR_VERSION "\n");
        return result;
    }

    CountCommand &c = result.command;
    c.separate = parser.isSet(separate);
    c.options.excludeBlank = parser.isSet(blank);
    words += parser.values(exclude);
    c.options.excludeWords = wordsAsText(std::move(words));
    c.options.trimWordSpaces = false;
    c.filesFrom = parser.values(filesFrom);
    c.nullSeparated = parser.isSet(null);
    c.paths = parser.positionalArguments();
    if (parser.isSet(ext)) {
        c.extension = parser.value(ext);
        if (c.extension.startsWith(QLatin1Char('.')))   // -e .txt means what -e txt means
            c.extension.remove(0, 1);
    }
    if (parser.isSet(jobs)) {
        bool ok = false;
        c.jobs = parser.value(jobs).toInt(&ok);
        if (!ok || c.jobs < 1 || c.jobs > MaxJobs)
            return usageError(QStringLiteral("--jobs needs a whole number from 1 to %1, not '%2'.")
                                  .arg(MaxJobs)
                                  .arg(parser.value(jobs)));
    }
    const QString f = parser.value(format);
    if (f == QLatin1String("text"))
        c.format = OutputFormat::Text;
    else if (f == QLatin1String("csv"))
        c.format = OutputFormat::Csv;
    else if (f == QLatin1String("json"))
        c.format = OutputFormat::Json;
    else
        return usageError(QStringLiteral("--format must be text, csv or json, not '%1'.").arg(f));
    if (parser.isSet(summary)) {
        const QString view = parser.value(summary);
        bool ok = true;
        if (view == QLatin1String("ext") || view == QLatin1String("extension")) {
            c.summary = summary::SummaryView::Extension;
        } else if (view == QLatin1String("folder")) {
            c.summary = summary::SummaryView::Folder;
        } else if (view.startsWith(QLatin1String("folder="))) {
            c.summary = summary::SummaryView::Folder;
            c.summaryDepth = view.mid(7).toInt(&ok);
            ok = ok && c.summaryDepth >= 0;
        } else {
            ok = false;
        }
        if (!ok)
            return usageError(
                QStringLiteral("--summary must be ext, folder or folder=DEPTH (0 or more), not '%1'.").arg(view));
    }
    if (c.nullSeparated && c.filesFrom.isEmpty())
        return usageError(QStringLiteral("-0/--null only applies to --files-from."));
    if (c.paths.isEmpty() && c.filesFrom.isEmpty())
        return usageError(QStringLiteral("No paths given."));
    result.action = ParsedCommandLine::Action::Count;
    return result;
}

} // namespace brinmoor::cli
