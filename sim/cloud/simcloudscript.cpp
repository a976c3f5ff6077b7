#include "simcloudscript.h"

void SimCloudScript::add(int requestId, const Entry &entry)
{
    if (entry.remaining == 0)
        return;
    QMutexLocker lock(&m_mutex);
    m_entries[requestId].append(entry);
}

std::optional<SimCloudScript::Entry> SimCloudScript::take(int requestId)
{
    QMutexLocker lock(&m_mutex);
    auto it = m_entries.find(requestId);
    if (it == m_entries.end() || it->isEmpty())
        return std::nullopt;
    Entry &first = it->first();
    const Entry taken = first;
    if (first.remaining > 0 && --first.remaining == 0)
        it->removeFirst();
    return taken;
}

void SimCloudScript::clear()
{
    QMutexLocker lock(&m_mutex);
    m_entries.clear();
}
