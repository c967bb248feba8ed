#include "ListedNames.h"

#include "Paths.h"

#include <algorithm>

namespace brinmoor::filelist::listing {

namespace {

void views(const std::string &names, const std::vector<NameSpan> &spans, std::vector<std::string_view> &out)
{
    out.clear();
    out.reserve(spans.size());
    for (const NameSpan &span : spans)
        out.push_back(std::string_view(names).substr(span.offset, span.size));
}

// Names the ASCII way cannot sort, as text in natural order.
std::vector<QString> decodedAndSorted(const std::vector<std::string_view> &names, const NaturalOrder &natural)
{
    std::vector<QString> decoded;
    decoded.reserve(names.size());
    for (const std::string_view name : names)
        decoded.push_back(decodedName(name));
    natural.sort(decoded);
    return decoded;
}

// A path made of a folder's text and an ASCII name, in one allocation.
QString joined(const QString &prefix, std::string_view asciiName)
{
    QString path(prefix.size() + qsizetype(asciiName.size()), Qt::Uninitialized);
    QChar *out = std::copy(prefix.cbegin(), prefix.cend(), path.data());
    for (const char c : asciiName)
        *out++ = QLatin1Char(c);
    return path;
}

} // namespace

NameSpan stored(std::string &names, std::string_view name)
{
    const NameSpan span{names.size(), name.size()};
    names.append(name);
    return span;
}

QString decodedName(std::string_view name)
{
    return pathFromNative(QByteArrayView(name.data(), qsizetype(name.size())));
}

void sortFolderNames(std::string &names, std::vector<NameSpan> &order, std::vector<std::string_view> &scratch,
                     const NaturalOrder &natural)
{
    views(names, order, scratch);
    if (natural.sortAscii(scratch)) {
        for (std::size_t i = 0; i < scratch.size(); ++i)
            order[i] = {std::size_t(scratch[i].data() - names.data()), scratch[i].size()};
    } else {
        // Back to the names' bytes: pathFromNative's round trip is exact.
        std::string sorted;
        sorted.reserve(names.size());
        order.clear();
        for (const QString &name : decodedAndSorted(scratch, natural)) {
            const QByteArray bytes = nativePath(name);
            order.push_back(stored(sorted, std::string_view(bytes.constData(), std::size_t(bytes.size()))));
        }
        names = std::move(sorted);
    }
    scratch.clear();
}

void ListedFiles::restart(const QString &prefix, std::size_t expectedBytes)
{
    m_names.clear();
    m_spans.clear();
    m_order.clear();
    m_decoded.clear();
    m_next = 0;
    m_isDecoded = false;
    m_prefix = prefix;
    // Room for the names from the start, and no copy as they grow. (Pages
    // that stay unused take no memory.)
    if (m_names.capacity() < expectedBytes)
        m_names.reserve(expectedBytes);
}

void ListedFiles::sort(const NaturalOrder &natural)
{
    views(m_names, m_spans, m_order);
    if (!natural.sortAscii(m_order)) {
        m_isDecoded = true;
        m_decoded = decodedAndSorted(m_order, natural);
        m_order.clear();
    }
}

bool ListedFiles::take(QStringList &files, qsizetype most)
{
    const std::size_t left = m_isDecoded ? m_decoded.size() - m_next : m_order.size() - m_next;
    const std::size_t count = std::min(left, std::size_t(most));
    if (count == 0)
        return false;
    files.reserve(files.size() + qsizetype(count));
    for (std::size_t i = m_next; i < m_next + count; ++i) {
        if (m_isDecoded)
            files.append(m_prefix + m_decoded[i]);
        else
            files.append(joined(m_prefix, m_order[i]));
    }
    m_next += count;
    return true;
}

} // namespace brinmoor::filelist::listing
