// The reader's node queue: parsed nodes waiting to be consumed, one record
// each, in one buffer from the process heap. Records are appended at the tail
// and consumed from the head; once the head reaches the tail both return to 0,
// so a document of any length reuses the same storage.

#include <cstdlib>

#include "xml/xmlreader_internal.h"

namespace qz_xmlreader {

bool QueueInit(QZ_XmlNodeQueue &q, uint32_t capacity) {
    q.capacity = 0;
    q.head = q.tail = 0;
    q.storage = static_cast<uint8_t *>(std::malloc(capacity != 0 ? capacity : 1));
    if (q.storage == nullptr) return false;
    q.capacity = capacity;
    return true;
}

void QueueFree(QZ_XmlNodeQueue &q) {
    std::free(q.storage);
    q.storage = nullptr;
    q.capacity = q.head = q.tail = 0;
}

bool QueueGrow(QZ_XmlNodeQueue &q, uint64_t total) {
    if (total > UINT32_MAX - static_cast<uint64_t>(q.tail)) return false;
    // Grow by at least the record and at least the storage already held, so
    // that a run of records (or one huge text) costs linear copying overall.
    uint64_t growth = total > kQueueGrowth ? total : kQueueGrowth;
    if (growth < q.capacity) growth = q.capacity;
    uint64_t wanted = static_cast<uint64_t>(q.capacity) + growth;
    if (wanted > UINT32_MAX) wanted = UINT32_MAX;
    if (wanted < q.tail + total) return false;
    auto *grown = static_cast<uint8_t *>(std::malloc(static_cast<size_t>(wanted)));
    if (grown == nullptr) return false;
    if (q.tail != 0) std::memcpy(grown, q.storage, q.tail);
    std::free(q.storage);
    q.storage = grown;
    q.capacity = static_cast<uint32_t>(wanted);
    return true;
}

bool AttributeAt(const Node &n, int32_t position, AttributeParts &parts) {
    if (n.type != QZ_XMLNODE_ELEMENT || position < 1) return false;
    const uint32_t count = Load32(n.payload + 8);
    if (static_cast<uint32_t>(position) > count) return false;
    const uint8_t *slots = n.payload + 12 + 16 * (static_cast<uint32_t>(position) - 1);
    const auto *base = reinterpret_cast<const char *>(n.payload);
    parts.uri = base + Load32(slots);
    parts.prefix = base + Load32(slots + 4);
    parts.local = base + Load32(slots + 8);
    parts.value = base + Load32(slots + 12);
    // Each text ends where the next begins (the next attribute's URI, or the
    // end of the record after the last value), less its terminator.
    const uint32_t end = static_cast<uint32_t>(position) < count ? Load32(slots + 16) : n.length;
    parts.uriLength = Load32(slots + 4) - Load32(slots) - 1;
    parts.prefixLength = Load32(slots + 8) - Load32(slots + 4) - 1;
    parts.localLength = Load32(slots + 12) - Load32(slots + 8) - 1;
    parts.valueLength = end - Load32(slots + 12) - 1;
    return true;
}

} // namespace qz_xmlreader
