#include "WordListCommands.h"

#include "BusyState.h"
#include "ErrorReporter.h"
#include "Procedure.h"

#include "SettingsStore.h"
#include "TextListModel.h"

#include <QHash>
#include <QKeyEvent>
#include <QTimer>
#include <QTreeView>

namespace brinmoor::app {

namespace {

// Keeps the last failure's text, for a change that tells it in a plain box.
struct KeepingSink final : FailureSink
{
    void report(const Failure &failure) override { description = failure.description; }
    QString description;
};

QStringList wordsFromStored(const QString &stored)
{
    return stored.isEmpty() ? QStringList() : stored.split(QLatin1Char(','));
}

// What is stored, changed the way this window changed its words since
// `synced`: the words it removed go (as many times as it removed them),
// the words it added come at the end, unless the store holds them as often
// already (another copy added the same word).
QStringList mergeWordLists(const QStringList &stored, const QStringList &synced, const QStringList &mine)
{
    QHash<QString, int> delta;
    QHash<QString, int> before;
    for (const QString &word : mine)
        ++delta[word];
    for (const QString &word : synced) {
        --delta[word];
        ++before[word];
    }
    QHash<QString, int> have;
    for (const QString &word : stored)
        ++have[word];

    QStringList merged;
    QHash<QString, int> toRemove;
    for (auto it = delta.cbegin(); it != delta.cend(); ++it) {
        if (it.value() < 0)
            toRemove.insert(it.key(), -it.value());
    }
    for (const QString &word : stored) {
        int &left = toRemove[word];
        if (left > 0)
            --left;
        else
            merged.append(word);
    }
    QHash<QString, int> mineSoFar;
    for (const QString &word : mine) {
        const int seen = ++mineSoFar[word];
        // Only the copies this window added; one the store holds already
        // counts as there.
        if (delta.value(word) > 0 && seen > have.value(word) && seen > before.value(word))
            merged.append(word);
    }
    return merged;
}

// The same on the stored form, where a word holding a comma is already two.
QString mergeWords(const QString &stored, const QString &synced, const QString &mine)
{
    if (stored == synced)
        return mine;   // nobody else wrote: this window's order stands
    return mergeWordLists(wordsFromStored(stored), wordsFromStored(synced), wordsFromStored(mine))
        .join(QLatin1Char(','));
}

} // namespace

WordListCommands::WordListCommands(Context context, QObject *parent)
    : QObject(parent)
    , m_c(std::move(context))
{
    m_c.view.installEventFilter(this);
    m_c.view.viewport()->installEventFilter(this);
}

void WordListCommands::addOneEntry()
{
    Procedure p(m_c.reporter, location::AddOneEntry);
    p.run([&] {
        p.step(100);
        const std::optional<QString> answer =
            m_c.boxes.dialogs.input(QStringLiteral("Enter word:"), m_c.boxes.title, QString());
        if (!answer || answer->isEmpty())
            return;
        p.step(102);
        // The stored form joins the words with commas (stored files rely on
        // it), so a word with a comma would come back split at the next start.
        if (answer->contains(QLatin1Char(','))) {
            m_c.boxes.tell(QStringLiteral("\"%1\" was not added: the exclusion words are kept separated by commas, "
                                          "so a word cannot contain a comma.")
                               .arg(*answer));
            return;
        }
        if (m_c.words.contains(*answer))
            return;
        p.step(104);
        m_c.words.add(*answer);
    });
}

void WordListCommands::removeSelectedWord(bool reportMissingSelection)
{
    if (m_c.busy.isBusy() || m_c.words.count() == 0)
        return;
    const QModelIndexList selected = m_c.view.selectionModel()->selectedRows();
    if (selected.isEmpty()) {
        if (reportMissingSelection)
            failStep(QStringLiteral("No entry is selected."));
        return;
    }
    m_c.words.removeAt(selected.first().row());
}

void WordListCommands::deleteSelectedEntry()
{
    Procedure p(m_c.reporter, location::DeleteSelectedEntry);
    p.run(100, [&] { removeSelectedWord(true); });
}

void WordListCommands::clearWords()
{
    Procedure p(m_c.reporter, location::ClearWords);
    p.run(100, [&] { m_c.words.clear(); });
}

void WordListCommands::loadSampleWords()
{
    Procedure p(m_c.reporter, location::LoadSampleWords);
    p.run(100, [&] { m_c.words.append({QStringLiteral("storm"), QStringLiteral("1"), QStringLiteral("2")}); });
}

bool WordListCommands::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == &m_c.view && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Delete) {
        removeSelectedWord(false);
        return true;
    }
    // The event type first: the view's own destruction sends events here
    // after its QAbstractScrollArea part is gone, so viewport() must not be
    // called for those.
    if (event->type() == QEvent::MouseButtonDblClick && watched == m_c.view.viewport()) {
        // The view selects the row under the pointer first; remove after it.
        QTimer::singleShot(0, this, [this] { removeSelectedWord(false); });
        return false;
    }
    return QObject::eventFilter(watched, event);
}

QString WordListCommands::readStoredWords() const
{
    return m_c.settings.read(QLatin1String(settings::ExcludeWords), QString());
}

void WordListCommands::restoreWords(const QString &stored)
{
    m_lastSynced = stored;
    if (!stored.isEmpty())
        m_c.words.append(stored.split(QLatin1Char(',')));
}

void WordListCommands::saveOnEveryChange()
{
    const TextListModel *words = &m_c.words;
    const auto save = [this] {
        QString told;
        {
            KeepingSink kept;
            saveWords(kept);
            told = kept.description;
        }
        // Not from inside the list's own signal: the box would run an event
        // loop while the views are updating.
        if (!told.isEmpty())
            QMetaObject::invokeMethod(this, [this, told] { m_c.boxes.tell(told); }, Qt::QueuedConnection);
    };
    connect(words, &QAbstractItemModel::rowsInserted, this, save);
    connect(words, &QAbstractItemModel::rowsRemoved, this, save);
    connect(words, &QAbstractItemModel::modelReset, this, save);
    connect(words, &QAbstractItemModel::dataChanged, this, save);
    connect(words, &QAbstractItemModel::layoutChanged, this, save);
}

void WordListCommands::saveWords()
{
    saveWords(static_cast<FailureSink &>(m_c.reporter));
}

void WordListCommands::saveWords(FailureSink &sink)
{
    Procedure p(sink, location::FormQueryUnload);
    p.run([&] {
        p.step(100);
        const QString mine = m_c.words.texts().join(QLatin1Char(','));
        p.step(112);
        const QString problem =
            m_c.settings.update(QLatin1String(settings::ExcludeWords), [&](const QString &stored) {
                return mergeWords(stored, m_lastSynced, mine);
            });
        if (!problem.isEmpty())
            failStep(problem);
        m_lastSynced = mine;
    });
}

} // namespace brinmoor::app
