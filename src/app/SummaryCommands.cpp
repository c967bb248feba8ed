#include "SummaryCommands.h"

#include "RunSummary.h"
#include "SummaryWindow.h"

#include "Clipboard.h"
#include "SettingsStore.h"
#include "SummaryTable.h"
#include "FileListDialogs.h"

#include <QDir>
#include <QSaveFile>

namespace brinmoor::app {

namespace {
// Where the summary window was last, as QWidget::saveGeometry() gives it.
constexpr char GeometryKey[] = "Summary Window";
} // namespace

SummaryCommands::SummaryCommands(Context context, QObject *parent)
    : QObject(parent)
    , m_c(std::move(context))
{
}

SummaryCommands::~SummaryCommands()
{
    delete m_summaryWindow;
}

SummaryWindow *SummaryCommands::summaryWindow() const
{
    return m_summaryWindow.data();
}

void SummaryCommands::showSummary()
{
    if (!m_summaryWindow) {
        m_summaryWindow = new SummaryWindow(m_c.summary, &m_c.window);
        const QByteArray geometry =
            QByteArray::fromBase64(m_c.settings.read(QLatin1String(GeometryKey), QString()).toLatin1());
        if (!geometry.isEmpty())
            m_summaryWindow->restoreGeometry(geometry);
        // Kept each time it goes out of sight, the main window's closing
        // included (a signal of the window's own: a filter would also see
        // the hide of a window half destroyed).
        connect(m_summaryWindow, &SummaryWindow::hidden, this, &SummaryCommands::storeGeometry);
        connect(m_summaryWindow, &SummaryWindow::saveTextRequested, this, &SummaryCommands::saveSummaryAsTextFile);
        connect(m_summaryWindow, &SummaryWindow::saveCsvRequested, this, &SummaryCommands::saveSummaryAsCsvFile);
        connect(m_summaryWindow, &SummaryWindow::copyRequested, this, &SummaryCommands::copySummaryToClipboard);
    }
    m_summaryWindow->show();
    m_summaryWindow->raise();
    m_summaryWindow->activateWindow();
}

void SummaryCommands::storeGeometry()
{
    // A failure to store a window's place is not worth a box of its own;
    // the settings store tells of a store that cannot be written elsewhere.
    m_c.settings.write(QLatin1String(GeometryKey),
                              QString::fromLatin1(m_summaryWindow->saveGeometry().toBase64()));
}

void SummaryCommands::saveSummaryAsTextFile()
{
    saveAs(QStringLiteral("Save Summary As Text File"),
           {QStringLiteral("Text Files (*.txt)"), QStringLiteral("All Files (*)")}, false);
}

void SummaryCommands::saveSummaryAsCsvFile()
{
    saveAs(QStringLiteral("Save Summary As CSV File"),
           {QStringLiteral("CSV Files (*.csv)"), QStringLiteral("All Files (*)")}, true);
}

void SummaryCommands::saveAs(const QString &title, const QStringList &filters, bool csv)
{
    if (!m_summaryWindow)
        return;
    m_filterIndex = 0;
    const QString path = m_c.fileDialogs.chooseSaveFile(title, filters, m_filterIndex);
    if (path.isEmpty())
        return;
    const SummaryWindow &w = *m_summaryWindow;
    const auto rows = w.exportRows();
    const summary::Summary &current = m_c.summary.current();
    const QString text = csv ? summary::csvTable(rows, w.currentView(), current, w.hasChange())
                             : summary::alignedTable(rows, w.currentView(), current, w.hasChange());
    // Written whole or not at all: an existing file stays as it was when
    // the disk is full or the folder cannot be written.
    QSaveFile file(path);
    const QByteArray bytes = text.toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        m_c.boxes.warn(QStringLiteral("The summary could not be saved as\r%1\r%2")
                           .arg(QDir::toNativeSeparators(path), file.errorString()));
    }
}

void SummaryCommands::copySummaryToClipboard()
{
    if (!m_summaryWindow)
        return;
    const SummaryWindow &w = *m_summaryWindow;
    const QString text =
        summary::tabSeparatedTable(w.exportRows(), w.currentView(), m_c.summary.current(), w.hasChange());
    if (!m_c.clipboard.placeText(text))
        m_c.boxes.warn(QStringLiteral("The summary could not be put on the clipboard."));
}

} // namespace brinmoor::app
