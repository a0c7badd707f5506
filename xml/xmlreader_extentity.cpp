// External entities (and the external DTD subset): fetched and parsed at
// once, inside expat's callback, with a parser made for the entity. The
// entity's events go to the same reader, so its nodes join the document's
// stream where the reference stood.

#include "qz/qzpgmmem.h"
#include "xml/xmlreader_internal.h"

namespace qz_xmlreader {
namespace {

constexpr unsigned char kBom[3] = {0xEF, 0xBB, 0xBF};

// Everything of the document that the entity replaces for its duration.
struct SavedInput {
    XML_Parser parser;
    void *handle;
    QZ_XmlReaderReadFn read;
    QZ_XmlReaderCloseFn close;
};

void ParseEntity(QZ_XmlReader *r, XML_Parser entityParser, char *block) {
    const uint32_t want = r->blockSize - 1;
    bool first = true;
    bool anyBytes = false;
    for (;;) {
        uint32_t got = 0;
        const QZ_Flag ok = r->inputRead(r->inputHandle, block, want, &got);
        if (got > want) got = want;
        if (!ok && (got != 0 || !anyBytes)) {
            SetError(r, QZ_XMLREADER_ERR_INPUT, QZ_XMLREADER_ERRKIND_READER);
            return;
        }
        const bool ended = got < want;
        const char *bytes = block;
        if (first && got >= 4 && std::memcmp(bytes, kBom, 3) == 0) {
            bytes += 3;
            got -= 3;
        }
        first = false;
        anyBytes = anyBytes || got != 0;
        ParseBlock(r, entityParser, bytes, got, ended);
        if (ended || r->errorCode != 0) return;
    }
}

} // namespace

int XMLCALL ExternalEntityRef(XML_Parser argument, const XML_Char *context, const XML_Char *base,
                              const XML_Char *systemId, const XML_Char *) {
    // The handler's argument is the reader (XML_SetExternalEntityRefHandlerArg).
    auto *r = reinterpret_cast<QZ_XmlReader *>(argument);
    if (r->errorCode != 0) return XML_STATUS_ERROR;
    if (!r->extEntEnabled || systemId == nullptr) return XML_STATUS_OK; // skipped

    auto *block = static_cast<char *>(PoolAlloc(r->blockSize, __LINE__));
    if (block == nullptr) {
        SetError(r, QZ_XMLREADER_ERR_ALLOC, QZ_XMLREADER_ERRKIND_READER);
        return XML_STATUS_ERROR;
    }
    const SavedInput saved{r->parser, r->inputHandle, r->inputRead, r->inputClose};
    XML_Parser entityParser = XML_ExternalEntityParserCreate(
        saved.parser, context, r->documentEncoding[0] != '\0' ? r->documentEncoding : nullptr);
    if (entityParser == nullptr) {
        PoolFree(block);
        SetError(r, QZ_XMLREADER_ERR_ALLOC, QZ_XMLREADER_ERRKIND_READER);
        return XML_STATUS_ERROR;
    }

    char *joined = nullptr;
    const char *location = systemId;
    if (base != nullptr && base[0] != '\0' && IsRelativeSystemId(systemId)) {
        const size_t baseLength = std::strlen(base);
        const size_t idLength = std::strlen(systemId);
        joined = static_cast<char *>(PoolAlloc(baseLength + idLength + 1, __LINE__));
        if (joined == nullptr) {
            XML_ParserFree(entityParser);
            PoolFree(block);
            SetError(r, QZ_XMLREADER_ERR_ALLOC, QZ_XMLREADER_ERRKIND_READER);
            return XML_STATUS_ERROR;
        }
        std::memcpy(joined, base, baseLength);
        std::memcpy(joined + baseLength, systemId, idLength + 1);
        location = joined;
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
        ParseEntity(r, entityParser, block);
        if (input.close != nullptr) input.close(input.handle);
        r->parser = saved.parser;
        r->inputHandle = saved.handle;
        r->inputRead = saved.read;
        r->inputClose = saved.close;
    }
    XML_ParserFree(entityParser);
    PoolFree(joined);
    PoolFree(block);
    return r->errorCode == 0 ? XML_STATUS_OK : XML_STATUS_ERROR;
}

} // namespace qz_xmlreader
