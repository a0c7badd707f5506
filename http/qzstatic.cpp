/* Static web generation options: whether this run generates static pages or
   serves a CGI request, and the settings of static generation taken from
   the command line and from qzcfg.ini. One process-wide set per run. */
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "qz/qzdate.h"
#include "qz/qzpgmmem.h"
#include "qz/qzstatic.h"
#include "qz/qztrace.h"
#include "runtime/qztext_internal.h"
#include "runtime/qzrequest_channel.h"

namespace {

/* Longest escaped value handed on in the options text. */
constexpr size_t kEscapedValueMax = 2049;

struct Settings {
    bool parsed = false;
    int16_t staticMode = 0;
    char *dir = nullptr;
    char *dynUrl = nullptr;
    char *sspBaseUrl = nullptr;
    uint16_t overwrite = QZ_STATIC_UNSET;
    uint16_t links = QZ_STATIC_UNSET;
    QZ_DateTime refDate = {0, 0};
};

Settings gSettings;
char gOptionsText[QZ_STATIC_OPTIONS_TEXT_SIZE];

int16_t StaticModeFromEnvironment()
{
    return qz_RequestEnv("GATEWAY_INTERFACE") == nullptr ? 1 : 0;
}

void Release(char *&slot)
{
    if (slot != nullptr)
        QZ_free(nullptr, slot);
    slot = nullptr;
}

/* Stores a directory or URL, ending it in "/" unless it is empty or ends in
   a path separator already; unset when the pool has no room. */
void StoreText(char *&slot, const char *text)
{
    Release(slot);
    const std::string_view value = text != nullptr ? text : "";
    auto *copy = static_cast<char *>(QZ_malloc(nullptr, value.size() + 2, "qzstatic", __LINE__));
    if (copy == nullptr)
        return;
    std::memcpy(copy, value.data(), value.size());
    size_t length = value.size();
    if (length > 0 && value.back() != '/' && value.back() != '\\')
        copy[length++] = '/';
    copy[length] = '\0';
    slot = copy;
}

uint16_t FlagValue(const char *value)
{
    return value != nullptr && std::strcmp(value, "false") == 0 ? 0 : 1;
}

struct Option {
    const char *prefix;
    const char *key;
};

constexpr Option kOptions[] = {
    {QZ_STATIC_OPT_DIR, QZ_STATIC_KEY_DIR},
    {QZ_STATIC_OPT_DYNURL, QZ_STATIC_KEY_DYNURL},
    {QZ_STATIC_OPT_OVERWRITE, QZ_STATIC_KEY_OVERWRITE},
    {QZ_STATIC_OPT_LINKS, QZ_STATIC_KEY_LINKS},
    {QZ_STATIC_OPT_REFDATE, QZ_STATIC_KEY_REFDATE},
};

/* One option of the options text: blank, quote, prefix, value, quote. */
void AppendOption(std::string &text, const char *prefix, std::string_view value)
{
    text += " \"";
    text += prefix;
    text += value;
    text += '"';
}

std::string Escaped(const char *value)
{
    std::string buffer(kEscapedValueMax + 1, '\0');
    QZ_EscapeQuotes(buffer.data(), value, kEscapedValueMax);
    buffer.resize(std::strlen(buffer.c_str()));
    return buffer;
}

} // namespace

extern "C" {

char *QZ_EscapeQuotes(char *buffer, const char *text, size_t n)
{
    if (buffer == nullptr)
        return buffer;
    const char *p = text != nullptr ? text : "";
    size_t written = 0;
    /* Escapes are written whole or not at all. A run of backslashes is
       doubled when a quote or the end of the text follows it, as the started
       program's command-line parsing halves such runs; a run followed by an
       ordinary character is kept and written together with it, so that a
       cut text never ends in a lone backslash. */
    while (*p != '\0') {
        std::string unit;
        size_t consumed = 0;
        size_t backslashes = 0;
        while (p[backslashes] == '\\')
            ++backslashes;
        const char next = p[backslashes];
        if (next == '"') {
            unit.assign(backslashes * 2, '\\');
            unit += "\\\"";
            consumed = backslashes + 1;
        } else if (next == '\0') {
            unit.assign(backslashes * 2, '\\');
            consumed = backslashes;
        } else {
            unit.assign(backslashes, '\\');
            unit += next;
            consumed = backslashes + 1;
        }
        if (unit.size() > n - written)
            break;
        std::memcpy(buffer + written, unit.data(), unit.size());
        written += unit.size();
        p += consumed;
    }
    buffer[written] = '\0';
    return buffer;
}

int16_t QZ_StaticWeb_SetOption(const char *key, const char *value)
{
    if (key == nullptr)
        return 1;
    if (std::strcmp(key, QZ_STATIC_KEY_DIR) == 0) {
        StoreText(gSettings.dir, value);
    } else if (std::strcmp(key, QZ_STATIC_KEY_DYNURL) == 0) {
        StoreText(gSettings.dynUrl, value);
    } else if (std::strcmp(key, QZ_STATIC_KEY_OVERWRITE) == 0) {
        gSettings.overwrite = FlagValue(value);
    } else if (std::strcmp(key, QZ_STATIC_KEY_LINKS) == 0) {
        gSettings.links = FlagValue(value);
    } else if (std::strcmp(key, QZ_STATIC_KEY_REFDATE) == 0) {
        gSettings.refDate = QZ_ParseDateTime(qz::OrEmpty(value), 0);
    } else {
        return 1;
    }
    return 0;
}

void QZ_StaticWeb_SetSSPBaseURL(const char *text)
{
    StoreText(gSettings.sspBaseUrl, text);
}

void QZ_StaticWeb_ParseOptions(int argc, char *const *argv, int first)
{
    gSettings.parsed = true;
    gSettings.staticMode = StaticModeFromEnvironment();
    Release(gSettings.dir);
    Release(gSettings.dynUrl);
    Release(gSettings.sspBaseUrl);
    gSettings.overwrite = QZ_STATIC_UNSET;
    gSettings.links = QZ_STATIC_UNSET;
    gSettings.refDate = QZ_Now();

    const int start = first < 0 ? 0 : (first >= argc ? argc : first + 1);
    for (int i = start; argv != nullptr && i < argc; ++i) {
        const char *arg = argv[i];
        if (arg == nullptr)
            continue;
        for (const Option &option : kOptions) {
            if (std::strncmp(arg, option.prefix, 4) == 0) {
                gSettings.staticMode = 1;
                QZ_StaticWeb_SetOption(option.key, arg + 4);
                break;
            }
        }
    }

    char value[QZ_INI_VALUE_MAX + 1] = {0};
    if (QZ_ReadIniValue("QZCFG", "Web", "SSP_BASE_URL", "qzcfg.ini", value))
        QZ_StaticWeb_SetSSPBaseURL(value);
}

int16_t QZ_StaticWeb_IsStatic(void)
{
    return gSettings.parsed ? gSettings.staticMode : StaticModeFromEnvironment();
}

const char *QZ_StaticWeb_GetDir(void)
{
    return qz::OrEmpty(gSettings.dir);
}

const char *QZ_StaticWeb_GetDynURL(void)
{
    return qz::OrEmpty(gSettings.dynUrl);
}

const char *QZ_StaticWeb_GetSSPBaseURL(void)
{
    return qz::OrEmpty(gSettings.sspBaseUrl);
}

int16_t QZ_StaticWeb_GetOverwrite(void)
{
    return gSettings.overwrite == QZ_STATIC_UNSET ? 1 : static_cast<int16_t>(gSettings.overwrite);
}

int16_t QZ_StaticWeb_GetLinks(void)
{
    return gSettings.links == QZ_STATIC_UNSET ? 1 : static_cast<int16_t>(gSettings.links);
}

QZ_DateTime QZ_StaticWeb_GetRefDate(void)
{
    return gSettings.refDate;
}

int16_t QZ_StaticWeb_IsUpToDate(const char *path)
{
    const QZ_DateTime file = QZ_FileDateTime(path);
    const QZ_DateTime ref = gSettings.refDate;
    return QZ_CompareDateTime(file.date, file.time, ref.date, ref.time) >= 0 ? 1 : 0;
}

char *QZ_StaticWeb_BuildLink(char *buffer, const char *url, size_t size)
{
    const std::string_view target = qz::OrEmpty(url);
    if (QZ_StaticWeb_IsStatic())
        return qz::CopyToBuffer(buffer, size, target);
    std::string link = QZ_StaticWeb_GetSSPBaseURL();
    link += target;
    return qz::CopyToBuffer(buffer, size, link);
}

const char *QZ_StaticWeb_OptionsText(void)
{
    std::string text;
    if (gSettings.dir != nullptr)
        AppendOption(text, QZ_STATIC_OPT_DIR, Escaped(gSettings.dir));
    if (gSettings.dynUrl != nullptr)
        AppendOption(text, QZ_STATIC_OPT_DYNURL, Escaped(gSettings.dynUrl));
    if (gSettings.links == 0)
        AppendOption(text, QZ_STATIC_OPT_LINKS, "false");
    if (gSettings.overwrite == 0)
        AppendOption(text, QZ_STATIC_OPT_OVERWRITE, "false");
    char refDate[32] = {0};
    QZ_FormatDateTime(refDate, sizeof refDate - 1, gSettings.refDate.date, gSettings.refDate.time,
                      10, 8, 0, 0, "", "", "");
    AppendOption(text, QZ_STATIC_OPT_REFDATE, refDate);
    /* The buffer holds two escaped values at their longest and the rest, so
       nothing is ever cut; the bound stays as a guard. */
    qz::CopyToBuffer(gOptionsText, sizeof gOptionsText - 1, text);
    return gOptionsText;
}

void QZ_StaticWeb_Free(void)
{
    Release(gSettings.dir);
    Release(gSettings.dynUrl);
    Release(gSettings.sspBaseUrl);
}

} // extern "C"
