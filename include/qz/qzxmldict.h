/* Namespace dictionary: a small append-only table of text pairs (key -> value)
   kept in one text pool and searched from the newest entry backwards, so that
   the most recent binding wins. The XML writer and reader keep their
   URI -> prefix bindings in one; the reader also keeps its unparsed entities
   in one. Storage comes from the default memory pool (tag "xmlstackdicc").

   Returned texts point into the pool: they stay valid until the next addition
   (the pool may move when it grows) and until the dictionary is reset or freed. */
#ifndef QZ_QZXMLDICT_H
#define QZ_QZXMLDICT_H

#include "qzdefs.h"

QZ_BEGIN_DECLS

/* Standard sizes (writer and reader namespace bindings). */
#define QZ_XMLNSDICT_STD_ENTRIES 50
#define QZ_XMLNSDICT_STD_TEXT 5000
#define QZ_XMLNSDICT_STD_ENTRY_GROWTH 20
#define QZ_XMLNSDICT_STD_TEXT_GROWTH 2000

/* Depth of a binding that is not tied to an element depth. */
#define QZ_XMLNSDICT_UNTIED (-1)

typedef struct QZ_XmlNsEntry {
    uint32_t keyPos;   /* offset of the key in the pool; a removed entry's key is empty */
    uint32_t valuePos; /* offset of the value in the pool */
    int16_t depth;     /* depth of the declaring element, or -1 */
} QZ_XmlNsEntry;

typedef struct QZ_XmlNsDict {
    uint32_t entryCapacity; /* entry slots allocated */
    uint32_t entryCount;    /* entries in use */
    uint32_t textCapacity;  /* bytes allocated for the text pool */
    uint32_t textUsed;      /* bytes of the pool in use */
    uint32_t entryGrowth;   /* slots added when the entries are full */
    uint32_t textGrowth;    /* minimum bytes added when the pool is too small */
    char *text;             /* value then key of every entry, each zero-terminated */
    QZ_XmlNsEntry *entries; /* in the order added */
} QZ_XmlNsDict;

/* 1 on success; 0 on failure, with nothing left allocated. */
QZ_EXPORT QZ_Flag QZ_XmlNsDict_Init(QZ_XmlNsDict *d, uint32_t entryCapacity, uint32_t textCapacity,
                                    uint32_t entryGrowth, uint32_t textGrowth);
QZ_EXPORT QZ_Flag QZ_XmlNsDict_InitStandard(QZ_XmlNsDict *d);
QZ_EXPORT void QZ_XmlNsDict_Free(QZ_XmlNsDict *d);

/* Appends a binding (absent texts count as empty; an empty key adds nothing
   and succeeds). 1 on success, 0 when storage cannot grow (dictionary unchanged). */
QZ_EXPORT QZ_Flag QZ_XmlNsDict_Add(QZ_XmlNsDict *d, const char *key, const char *value, int16_t depth);
QZ_EXPORT QZ_Flag QZ_XmlNsDict_AddUntied(QZ_XmlNsDict *d, const char *key, const char *value);

/* Value of the newest entry whose key is exactly the first keyLength bytes of
   key (key need not be terminated there); NULL when none matches. An empty
   value (default namespace) is returned as an empty text, not NULL. */
QZ_EXPORT const char *QZ_XmlNsDict_Lookup(const QZ_XmlNsDict *d, const char *key, uint32_t keyLength);

/* Key of the newest live entry whose value equals value (NULL = empty); NULL
   when none (the reverse look-up, e.g. prefix -> URI). */
QZ_EXPORT const char *QZ_XmlNsDict_FindKeyByValue(const QZ_XmlNsDict *d, const char *value);

/* Removes the newest live entry with that value (NULL = empty); 1 when one was removed. */
QZ_EXPORT QZ_Flag QZ_XmlNsDict_RemoveByValue(QZ_XmlNsDict *d, const char *value);

/* Drops the newest entries while they are tagged with depth. */
QZ_EXPORT void QZ_XmlNsDict_PopDepth(QZ_XmlNsDict *d, int16_t depth);

/* Empties the dictionary, keeping its storage. */
QZ_EXPORT void QZ_XmlNsDict_Reset(QZ_XmlNsDict *d);

QZ_END_DECLS

#endif
