// External entities (and the external DTD subset): fetched and parsed at
// once, inside expat's callback, with a parser made for the entity. The
// entity's events go to the same reader, so its nodes join the document's
// stream where the reference stood.

#include "qz/qzpgmmem.h"
#include "xml/xmlreader_internal.h"

namespace qz_xmlreader {
namespace {

// Everything of the document that the entity replaces for its duration.
struct SavedInput {
    XML_Parser parser;
    void *handle;
    QZ_XmlReaderReadFn read;
    QZ_XmlReaderCloseFn close;
    QZ_Flag remoteOrigin;
};

void ParseEntity(QZ_XmlReader *r, XML_Parser entityParser) {
    FeedState s;
    s.removeMark = ReaderRemovesMark(r, true);
    s.entity = true;
    while (FeedParser(r, entityParser, s) == FeedStatus::More) {
    }
}

// Length of the scheme, "://" and the authority of an http URL.
size_t AuthorityEnd(const char *url) {
    const char *p = std::strstr(url, "://");
    p = p != nullptr ? p + 3 : url;
    while (*p != '\0' && *p != '/' && *p != '?') ++p;
    return static_cast<size_t>(p - url);
}

// A pool copy of the concatenation a + b (b of bLength bytes), or nullptr.
char *Join(const char *a, size_t aLength, const char *b) {
    const size_t bLength = std::strlen(b);
    auto *joined = static_cast<char *>(PoolAlloc(aLength + bLength + 1, __LINE__));
    if (joined == nullptr) return nullptr;
    std::memcpy(joined, a, aLength);
    std::memcpy(joined + aLength, b, bLength + 1);
    return joined;
}

// Where an entity is read. A relative system identifier is taken relative to
// the base. An entity of a document that came from the network is read from
// the network only: an absolute path is taken on the base's server, and
// anything that would name a local file (a path without an http base, a
// file: URL, a share) gives no location. Returns the location, in *copy when
// it had to be made (a pool copy the caller frees); nullptr with *copy
// nullptr when there is none, with *copy == location on success.
const char *EntityLocation(QZ_XmlReader *r, const char *base, const char *systemId, char **copy, bool &noMemory) {
    *copy = nullptr;
    noMemory = false;
    const bool hasBase = base != nullptr && base[0] != '\0';
    if (!r->remoteOrigin) {
        if (!hasBase || !IsRelativeSystemId(systemId)) return systemId;
        *copy = Join(base, std::strlen(base), systemId);
        noMemory = *copy == nullptr;
        return *copy;
    }
    if (IsHttpName(systemId)) return systemId;
    if (!hasBase || !IsHttpName(base)) return nullptr;
    if (IsRelativeSystemId(systemId)) {
        *copy = Join(base, std::strlen(base), systemId);
    } else if (systemId[0] == '/' && systemId[1] != '/') {
        *copy = Join(base, AuthorityEnd(base), systemId);
    } else {
        return nullptr;
    }
    noMemory = *copy == nullptr;
    return *copy;
}

} // namespace

int XMLCALL ExternalEntityRef(XML_Parser argument, const XML_Char *context, const XML_Char *base,
                              const XML_Char *systemId, const XML_Char *) {
    // The handler's argument is the reader (XML_SetExternalEntityRefHandlerArg).
    auto *r = reinterpret_cast<QZ_XmlReader *>(argument);
    if (r->errorCode != 0) return XML_STATUS_ERROR;
    if (!r->extEntEnabled || systemId == nullptr) return XML_STATUS_OK; // skipped
    // A chain of entities, each naming the next, would otherwise cost a
    // parser and a stack frame per level without end.
    if (r->maxEntityDepth > 0 && r->entityDepth >= r->maxEntityDepth) {
        SetError(r, QZ_XMLREADER_ERR_ENTITY_DEPTH, QZ_XMLREADER_ERRKIND_READER);
        return XML_STATUS_ERROR;
    }

    char *copy = nullptr;
    bool noMemory = false;
    const char *location = EntityLocation(r, base, systemId, &copy, noMemory);
    if (location == nullptr) {
        SetError(r, noMemory ? QZ_XMLREADER_ERR_ALLOC : QZ_XMLREADER_ERR_INPUT, QZ_XMLREADER_ERRKIND_READER);
        return XML_STATUS_ERROR;
    }
    const SavedInput saved{r->parser, r->inputHandle, r->inputRead, r->inputClose, r->remoteOrigin};
    XML_Parser entityParser = XML_ExternalEntityParserCreate(
        saved.parser, context, r->documentEncoding[0] != '\0' ? r->documentEncoding : nullptr);
    if (entityParser == nullptr) {
        PoolFree(copy);
        SetError(r, QZ_XMLREADER_ERR_ALLOC, QZ_XMLREADER_ERRKIND_READER);
        return XML_STATUS_ERROR;
    }

    Input input;
    const int16_t failure = OpenNamedInput(r, location, input);
    if (failure != 0) {
        SetError(r, failure, QZ_XMLREADER_ERRKIND_READER);
    } else {
        // References inside the entity are relative to the entity itself.
        if (input.base[0] != '\0') XML_SetBase(entityParser, input.base);
        r->parser = entityParser;
        r->inputHandle = input.handle;
        r->inputRead = input.read;
        r->inputClose = input.close;
        // What an entity fetched from the network names is read from the network too.
        if (IsHttpName(location)) r->remoteOrigin = 1;
        ++r->entityDepth;
        ParseEntity(r, entityParser);
        --r->entityDepth;
        if (input.close != nullptr) input.close(input.handle);
        r->parser = saved.parser;
        r->inputHandle = saved.handle;
        r->inputRead = saved.read;
        r->inputClose = saved.close;
        r->remoteOrigin = saved.remoteOrigin;
    }
    XML_ParserFree(entityParser);
    PoolFree(copy);
    return r->errorCode == 0 ? XML_STATUS_OK : XML_STATUS_ERROR;
}

} // namespace qz_xmlreader
