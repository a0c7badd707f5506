// Giving input to expat: the reads of one parse call, the byte order mark,
// and how many reads go into one call.
//
// Every read lands straight in expat's own buffer, which saves copying each
// block once more. Read callbacks may zero-terminate what they deliver (the
// HTTP client's block read does, into wanted + 1 bytes), so the buffer asked
// of expat always holds one byte more than the reads may fill.
//
// expat keeps an unfinished token (a start tag with a long attribute, a
// comment, a declaration) and scans it again from its start at every call.
// Fed one block at a time, a token of n bytes would cost n * n / block of
// scanning. So the reader keeps asking its input for blocks of the same size,
// but when the token left over is larger than what one call would give, it
// gives expat that many blocks at once (doubling): each call then brings at
// least as many new bytes as it scans again, and the cost stays linear.

#include <strings.h>

#include "xml/xmlreader_internal.h"

namespace qz_xmlreader {
namespace {

constexpr unsigned char kBom[3] = {0xEF, 0xBB, 0xBF};
// The most one parse call is given: far above any block, well inside expat's int lengths.
constexpr uint64_t kMaxFeed = uint64_t{1} << 30;

// The encodings that expat decodes by its own name tables (any case).
bool ExpatKnowsEncoding(const char *name) {
    static const char *const kKnown[] = {"UTF-8", "UTF-16", "UTF-16BE", "UTF-16LE", "ISO-8859-1", "US-ASCII"};
    for (const char *known : kKnown)
        if (strcasecmp(name, known) == 0) return true;
    return false;
}

// Reads per call for the bytes expat holds back unfinished.
uint32_t BlocksFor(uint64_t pending, uint32_t want) {
    uint32_t blocks = 1;
    while (static_cast<uint64_t>(blocks) * want < pending && static_cast<uint64_t>(blocks) * 2 * want < kMaxFeed)
        blocks *= 2;
    return blocks;
}

} // namespace

bool ReaderRemovesMark(const QZ_XmlReader *r, bool entity) {
    // expat detects the encoding of a document and of an entity and removes
    // a UTF-8 mark itself; removing it here too would take a U+FEFF that
    // follows it (character data, or the error of a second mark). It keeps
    // the mark when an encoding is forced on it that it takes byte by byte:
    // one of the unknown-encoding handler ("ANSI"), or ISO-8859-1 in an
    // external entity. There the mark is dropped here, as it always was.
    const char *forced = r->documentEncoding;
    if (forced[0] == '\0') return false;
    if (!ExpatKnowsEncoding(forced)) return true;
    return entity && strcasecmp(forced, "ISO-8859-1") == 0;
}

FeedStatus FeedParser(QZ_XmlReader *r, XML_Parser parser, FeedState &s) {
    const uint32_t want = r->blockSize - 1;
    if (s.blocks == 0) s.blocks = 1;
    const uint64_t room = static_cast<uint64_t>(s.blocks) * want + 1;
    char *buffer = room <= kMaxFeed + want + 1 ? static_cast<char *>(XML_GetBuffer(parser, static_cast<int>(room))) : nullptr;
    if (buffer == nullptr) {
        SetError(r, QZ_XMLREADER_ERR_ALLOC, QZ_XMLREADER_ERRKIND_READER);
        return FeedStatus::Failed;
    }
    uint64_t total = 0;
    bool ended = false;
    for (uint32_t i = 0; i < s.blocks && !ended; ++i) {
        uint32_t got = 0;
        const QZ_Flag ok = r->inputRead != nullptr ? r->inputRead(r->inputHandle, buffer + total, want, &got) : 0;
        if (got > want) got = want;
        // Some input sources report their end as a failed read that delivers
        // nothing; after data has come, that is the end of the input, not an
        // input error.
        if (!ok && (got != 0 || s.fed + total == 0)) {
            SetError(r, QZ_XMLREADER_ERR_INPUT, QZ_XMLREADER_ERRKIND_READER);
            return FeedStatus::Failed;
        }
        total += got;
        ended = !ok || got < want;
    }
    if (s.fed == 0 && s.removeMark && total > 3 && std::memcmp(buffer, kBom, 3) == 0) {
        std::memmove(buffer, buffer + 3, static_cast<size_t>(total - 3));
        total -= 3;
    }
    // A document that delivers nothing at all is an empty document, which
    // expat is not asked about.
    if (total == 0 && s.fed == 0 && s.emptyIsNothing) return ended ? FeedStatus::Ended : FeedStatus::More;
    if (s.entity) {
        r->entityBytes += total;
        if (r->maxEntityBytes > 0 && r->entityBytes > static_cast<uint64_t>(r->maxEntityBytes)) {
            SetError(r, QZ_XMLREADER_ERR_ENTITY_SIZE, QZ_XMLREADER_ERRKIND_READER);
            return FeedStatus::Failed;
        }
    }
    s.fed += total;
    if (XML_ParseBuffer(parser, static_cast<int>(total), ended ? XML_TRUE : XML_FALSE) == XML_STATUS_ERROR) {
        ParseFailed(r, parser);
        return FeedStatus::Failed;
    }
    if (r->errorCode != 0) return FeedStatus::Failed;
    if (ended) return FeedStatus::Ended;
    // expat's current byte index stands at the start of the token it holds back.
    const XML_Index at = XML_GetCurrentByteIndex(parser);
    const uint64_t pending = at >= 0 && static_cast<uint64_t>(at) <= s.fed ? s.fed - static_cast<uint64_t>(at) : 0;
    s.blocks = BlocksFor(pending, want);
    return FeedStatus::More;
}

} // namespace qz_xmlreader
