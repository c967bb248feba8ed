#pragma once

#include "FolderFeed.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

namespace brinmoor::filelist {

// Names a command met that cannot be shown as text (bytes that are not
// UTF-8). Files with such names are added like any other, and count right;
// folders with such names are passed over by the scan's bad-name rule. The
// window says so once per command rather than dropping them unseen.
struct UnshowableNames
{
    int files = 0;
    int folders = 0;
    QStringList first;   // the first few paths, for the message

    void add(const QString &path, bool folder);
    bool isEmpty() const { return files == 0 && folders == 0; }
};

// The text of the box that tells of them.
QString unshowableNamesText(const UnshowableNames &names);

// Folders a walk may not read, passed over with everything below them. Only
// the first ones are kept by name, so a tree of denied folders costs no
// more than their count.
struct UnreadableFolders
{
    static constexpr int Kept = 1000;
    int count = 0;
    QStringList first;   // "path: reason"

    void add(const QString &folder, const QString &reason);
};

// Takes the files of a folder feed into the GUI thread in batches, in walk
// order, through rowsFound. Several jobs may run at once; each finishes on
// its own. The job lives on the thread that created it (the GUI thread) and
// every signal is emitted there.
class FolderScanJob : public QObject
{
    Q_OBJECT
public:
    // Every file of folder and of all folders below it that matches pattern.
    FolderScanJob(const QString &folder, const QString &pattern, QObject *parent = nullptr);
    // What a drop onto the file list delivers, in that order: a folder is
    // walked with "*.*", anything else is passed on exactly as delivered.
    static FolderScanJob *forDrop(const QStringList &paths, QObject *parent = nullptr);
    // Cancels a running walk and waits for its thread.
    ~FolderScanJob() override;

    // The settings below are read by the walking thread: set them before
    // start().

    // How the walk opens folders (see WalkOptions::openFolder); a seam for
    // tests.
    void setOpenFolder(std::function<int(const char *path)> openFolder);
    // Rows are handed over at most this often (plus once at the end), so a
    // fast walk costs the GUI thread a few appends a second instead of one
    // per file. 0 hands over every batch the walk produces.
    void setHandOverInterval(int milliseconds);
    // No batch grows beyond this many rows, whatever the interval.
    void setMaxBatch(int rows);

    void start();
    // Stops the walk soon; rows already handed over stay. finished follows.
    void cancel();
    bool isRunning() const { return m_running; }
    // What the job met that cannot be shown as text; complete once finished
    // has been emitted.
    const UnshowableNames &unshowableNames() const { return m_unshowable; }
    // The folders it passed over unread; complete once finished has been
    // emitted.
    const UnreadableFolders &unreadableFolders() const { return m_unreadable; }

signals:
    void rowsFound(const QStringList &rows);
    // A folder the walk could not list, in its place among the rows; the
    // window decides how to tell of it.
    void folderFailed(const QString &folder, const QString &reason);
    // Always the last signal of a started job.
    void finished(bool cancelled);

private:
    FolderScanJob(QList<FeedItem> items, QString pattern, QObject *parent);
    void take();   // on the GUI thread, woken by the feed
    void handOver();
    void finish();

    QList<FeedItem> m_items;
    QString m_pattern;
    std::function<int(const char *path)> m_openFolder;
    int m_interval = 50;
    int m_maxBatch = 8192;
    bool m_cancelled = false;
    bool m_running = false;
    bool m_started = false;
    bool m_taking = false;
    bool m_takeAgain = false;
    // Set by the walking thread when it has posted take(), cleared by take().
    std::atomic<bool> m_wakePosted{false};
    std::vector<FeedEntry> m_entries;
    QStringList m_pending;
    QElapsedTimer m_sinceHandOver;
    QTimer m_handOverTimer;
    UnshowableNames m_unshowable;
    // Written by the walking thread, read once the feed is over.
    UnreadableFolders m_unreadable;
    // Last, so that it goes first: its thread uses the members above.
    std::unique_ptr<FolderFeed> m_feed;
};

} // namespace brinmoor::filelist
