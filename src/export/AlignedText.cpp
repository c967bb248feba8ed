#include "AlignedText.h"

#include "SaveTarget.h"

#include <Paths.h>

#include <QDir>
#include <QFile>
#include <QIODevice>
#include <QStringEncoder>

#include <algorithm>
#include <limits>

namespace brinmoor::exports {

namespace {

// Text is encoded and handed to the device in chunks of about this many
// UTF-16 units: large enough that a million rows cost a few hundred writes,
// small enough to keep memory flat.
constexpr qsizetype ChunkUnits = 1 << 18;

// Calls the progress callback only when something changed, so a million rows
// cause about a hundred value updates and a thousand caption updates.
class ProgressReporter
{
public:
    explicit ProgressReporter(const ProgressCallback &callback)
        : m_callback(callback)
    {
    }

    bool active() const { return bool(m_callback); }

    void set(int value, const QString &caption)
    {
        if (!m_callback || (value == m_value && caption == m_caption))
            return;
        m_value = value;
        m_caption = caption;
        m_callback(value, caption);
    }

    void setValue(int value) { set(value, m_caption); }

private:
    const ProgressCallback &m_callback;
    int m_value = -1;
    QString m_caption;
};

// The text, blanks up to the column's width (none when the text is already
// that long), then one tab.
void appendAlignedCell(QString &out, const QString &cell, int width)
{
    const QString text = exportedText(cell);
    out.append(text);
    if (width > text.size())
        out.resize(out.size() + (width - text.size()), u' ');
    out.append(u'\t');
}

// Encodes and writes the buffered text, then empties the buffer.
bool flush(QString &buffer, QStringEncoder &encoder, QIODevice &device)
{
    const QByteArray bytes = encoder.encode(buffer);
    buffer.clear();
    return device.write(bytes) == bytes.size();
}

ExportFailure writeFailure(ExportStage stage, const QString &path, const QString &reason)
{
    return ExportFailure{stage, {path, reason}};
}

// The header line, then the checked rows, with the progress of the rows.
std::optional<ExportFailure> writeTable(const ListSource &list, const QList<int> &widths, QIODevice &device,
                                  const QString &fileName, ProgressReporter &progress)
{
    QStringEncoder encoder(QStringConverter::System);
    const auto failed = [&](ExportStage stage) {
        const QString reason = device.errorString();
        return writeFailure(stage, QString(), reason.isEmpty() ? QStringLiteral("Write error") : reason);
    };

    const int columns = list.columnCount();
    QString buffer;
    buffer.reserve(ChunkUnits + 4096);
    for (int c = 0; c < columns; ++c)
        appendAlignedCell(buffer, list.headerText(c), widths.at(c));
    buffer.append(u"\r\n");
    if (!flush(buffer, encoder, device))
        return failed(ExportStage::Header);

    const QString caption = writingFileCaption(fileName);
    progress.set(20, caption);

    const int rows = list.rowCount();
    const double rowShare = rows > 0 ? 100.0 / rows : 0.0;
    const int lead = rows / 2000;
    for (int j = 0; j < rows; ++j) {
        if (!list.isChecked(j))
            continue;
        for (int c = 0; c < columns; ++c)
            appendAlignedCell(buffer, list.cellText(j, c), widths.at(c));
        buffer.append(u"\r\n");

        if (progress.active()) {
            // Positions count from 1, checked or not; the lead of 1/2000 of
            // the rows lets the bar reach its end a little early.
            const int position = j + 1;
            const int value = std::clamp(int((position + lead) * rowShare), 0, 100);
            if (position % 1000 == 0)
                progress.set(value, writingFileCaption(fileName, position));
            else
                progress.setValue(value);
        }
        if (buffer.size() >= ChunkUnits && !flush(buffer, encoder, device))
            return failed(ExportStage::Rows);
    }
    if (!buffer.isEmpty() && !flush(buffer, encoder, device))
        return failed(ExportStage::Rows);
    // A buffered file holds the last bytes until its flush, which is where a
    // full disk shows for a short table.
    if (auto *file = qobject_cast<QFileDevice *>(&device); file && !file->flush())
        return failed(ExportStage::Close);
    return std::nullopt;
}

} // namespace

QList<int> columnWidths(const ListSource &list, bool withHeader)
{
    const int columns = list.columnCount();
    const int rows = list.rowCount();
    QList<int> widths;
    widths.reserve(columns);
    for (int c = 0; c < columns; ++c) {
        qsizetype w = withHeader ? list.headerText(c).size() : 0;
        for (int j = 0; j < rows; ++j)
            w = std::max(w, list.cellText(j, c).size());
        widths.append(int(std::min<qsizetype>(w, std::numeric_limits<int>::max())));
    }
    return widths;
}

std::optional<ExportFailure> SaveListviewProperlySpaced(const ListSource &list, QIODevice &device,
                                                  const QString &fileName, const ProgressCallback &progressCallback)
{
    ProgressReporter progress(progressCallback);
    const QString caption = writingFileCaption(fileName);
    progress.set(1, caption);
    const QList<int> widths = columnWidths(list, true);
    progress.set(10, caption);

    std::optional<ExportFailure> failure = writeTable(list, widths, device, fileName, progress);
    if (!failure)
        progress.set(100, QString::fromLatin1(texts::DoneCaption));
    progress.set(0, QString::fromLatin1(texts::IdleCaption));
    return failure;
}

std::optional<ExportFailure> SaveListviewProperlySpaced(const ListSource &list, const QString &path,
                                                  const ProgressCallback &progressCallback,
                                                  const std::shared_ptr<WriteStop> &stop)
{
    ProgressReporter progress(progressCallback);
    const QString fileName = GetFileNameFromPath(path);
    const QString caption = writingFileCaption(fileName);
    progress.set(1, caption);
    const QList<int> widths = columnWidths(list, true);
    progress.set(10, caption);

    const QString shownPath = QDir::toNativeSeparators(path);
    const auto writeInto = [&](QIODevice &file) {
        std::optional<ExportFailure> written = writeTable(list, widths, file, fileName, progress);
        if (written)
            written->failure.path = shownPath;
        return written;
    };

    std::optional<ExportFailure> failure;
    const SaveTarget target = chooseSaveTarget(path);
    switch (target.kind) {
    case SaveTarget::Kind::Refuse:
        failure = writeFailure(ExportStage::Create, shownPath, target.pathOrReason);
        break;
    case SaveTarget::Kind::WriteThrough: {
        QString reason;
        const std::unique_ptr<DescriptorDevice> device = openInPlace(path, stop, reason);
        if (!device)
            failure = writeFailure(ExportStage::Create, shownPath, reason);
        else if (!(failure = writeInto(*device)) && !device->closeDescriptor())
            failure = writeFailure(ExportStage::Close, shownPath, device->errorString());
        break;
    }
    case SaveTarget::Kind::Replace: {
        ReplacementFile file(target.pathOrReason, stop);
        if (!file.open())
            failure = writeFailure(ExportStage::Create, shownPath, file.errorString());
        else if ((failure = writeInto(file.device())))
            file.discard();
        else if (!file.commit())
            failure = writeFailure(ExportStage::Close, shownPath, file.errorString());
        break;
    }
    }

    if (!failure)
        progress.set(100, QString::fromLatin1(texts::DoneCaption));
    progress.set(0, QString::fromLatin1(texts::IdleCaption));
    return failure;
}

QString CopyListviewProperlySpaced(const ListSource &list)
{
    const QList<int> widths = columnWidths(list, false);
    const int columns = list.columnCount();
    const int rows = list.rowCount();
    QString text;
    for (int j = 0; j < rows; ++j) {
        if (!list.isChecked(j))
            continue;
        const qsizetype lineStart = text.size();
        for (int c = 0; c < columns; ++c)
            appendAlignedCell(text, list.cellText(j, c), widths.at(c));
        // Drop the final tab, then the blanks before it (only blanks: a tab
        // that ends an inner cell stays).
        qsizetype end = text.size() - (text.size() > lineStart ? 1 : 0);
        while (end > lineStart && text.at(end - 1) == u' ')
            --end;
        text.truncate(end);
        text.append(u"\r\n");
    }
    return text;
}

} // namespace brinmoor::exports
