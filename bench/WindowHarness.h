#pragma once

// What the benchmarks that drive the shown window share: settings of their
// own, boxes and dialogs that answer at once, and a meter of how long the
// GUI thread stood still.

#include "FileListDialogs.h"
#include "MainWindow.h"
#include "SettingsStore.h"
#include "UserDialogs.h"

#include <QElapsedTimer>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <optional>

namespace bench {

// Settings in a temporary folder, never the user's. Make it before the
// QApplication, which reads the environment.
class BenchHome
{
public:
    BenchHome()
    {
        qputenv("XDG_CONFIG_HOME", m_dir.path().toLocal8Bit());
        QStandardPaths::setTestModeEnabled(true);
    }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
};

// Every box answered at once: OK, Yes to a question, inputAnswer to an
// input box. The texts shown are kept.
class AnsweringDialogs final : public brinmoor::UserDialogs
{
public:
    brinmoor::MessageAnswer message(const QString &, const QString &text, brinmoor::MessageButtons buttons,
                                    brinmoor::MessageIcon) override
    {
        texts.append(text);
        return buttons == brinmoor::MessageButtons::YesNo ? brinmoor::MessageAnswer::Yes
                                                          : brinmoor::MessageAnswer::Ok;
    }
    std::optional<QString> input(const QString &, const QString &, const QString &) override
    {
        return inputAnswer;
    }

    QStringList texts;
    std::optional<QString> inputAnswer;
};

// The folder browser chooses folder, the save dialog savePath; the open
// dialog is cancelled.
class FixedFileDialogs final : public brinmoor::filelist::FileListDialogs
{
public:
    brinmoor::filelist::FileSelection chooseFiles(const QString &, const QStringList &, int &) override
    {
        return {};
    }
    QString chooseFolder(const QString &, const QString &) override { return folder; }
    QString chooseSaveFile(const QString &, const QStringList &, int &) override { return savePath; }

    QString folder;
    QString savePath;
};

// The window with the bench's settings and dialogs, started up and shown.
inline brinmoor::app::WindowServices benchServices(const BenchHome &home, brinmoor::SettingsStore &settings,
                                                   AnsweringDialogs &dialogs, FixedFileDialogs &fileDialogs)
{
    brinmoor::app::WindowServices services;
    services.dialogs = &dialogs;
    services.settings = &settings;
    services.programFolder = home.path();
    services.fileDialogs = &fileDialogs;
    return services;
}

// The longest gap between two ticks of a precise timer on the GUI thread:
// how long the window stood still at worst while it ran.
class StallMeter
{
public:
    explicit StallMeter(int intervalMs)
    {
        m_ticker.setTimerType(Qt::PreciseTimer);
        m_ticker.setInterval(intervalMs);
        QObject::connect(&m_ticker, &QTimer::timeout, [this] { note(); });
    }
    void start()
    {
        m_longestNs = 0;
        m_clock.start();
        m_ticker.start();
    }
    // Counts the gap up to now too, so a stall at the very end is seen.
    void stop()
    {
        note();
        m_ticker.stop();
    }
    QString longestMs() const { return QString::number(double(m_longestNs) / 1e6, 'f', 1); }

private:
    void note()
    {
        m_longestNs = qMax(m_longestNs, m_clock.nsecsElapsed());
        m_clock.restart();
    }

    QTimer m_ticker;
    QElapsedTimer m_clock;
    qint64 m_longestNs = 0;
};

// Removes "--name VALUE" from args; the value, or "" when absent.
inline QString takeOption(QStringList &args, const QString &name)
{
    const qsizetype at = args.indexOf(name);
    if (at < 0 || at + 1 >= args.size())
        return {};
    const QString value = args.at(at + 1);
    args.remove(at, 2);
    return value;
}

} // namespace bench
