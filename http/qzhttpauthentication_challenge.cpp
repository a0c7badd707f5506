// Reading WWW-Authenticate challenges: where the next challenge begins, the
// value of one parameter, and the scheme token.
//
// Parameter values are expected in double quotes.  An unquoted value
// (algorithm=MD5, stale=false) makes the walks read on to the next double
// quote; that is how these challenges have always been read, so it stays.

#include "qz/qzhttpauth.h"

#include <cstring>

namespace {

const char *SkipBlanks(const char *p) {
    while (*p == ' ') {
        ++p;
    }
    return p;
}

// The start of a challenge found after a ",", or none at the end of the text.
const char *ChallengeAt(const char *p) {
    p = SkipBlanks(p);
    return *p != '\0' ? p : nullptr;
}

unsigned char Lower(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

}  // namespace

extern "C" {

const char *QZ_HTTP_AuthNextChallenge(const char *text) {
    if (text == nullptr) {
        return nullptr;
    }
    enum class State { Scheme, AfterComma, TokenBlank, Value, Quoted, AfterValue };
    State state = State::Scheme;
    bool tokenSeen = false;            // a token character was seen in AfterComma
    const char *tokenStart = nullptr;  // where that token began
    const char *remembered = nullptr;  // just after the last "," that ended a value

    for (const char *p = text; *p != '\0'; ++p) {
        const char c = *p;
        switch (state) {
        case State::Scheme:
            if (c == ' ') {
                state = State::AfterComma;
                tokenSeen = false;
            } else if (c == ',') {
                return ChallengeAt(p + 1);  // a scheme without parameters
            }
            break;
        case State::AfterComma:
            if (c == ' ') {
                if (tokenSeen) {
                    state = State::TokenBlank;
                }
            } else if (c == '=') {
                state = State::Value;
            } else if (!tokenSeen) {
                tokenSeen = true;
                tokenStart = p;
            }
            break;
        case State::TokenBlank:
            if (c == '=') {
                state = State::Value;
            } else if (c != ' ') {
                // The token before the blank was the next scheme name.  Without a
                // remembered "," (the token followed the scheme directly) that
                // token itself starts the next challenge, which always lies
                // after the start of this one, so callers walking the
                // challenges one by one always get further.
                return remembered != nullptr ? remembered : tokenStart;
            }
            break;
        case State::Value:
            if (c == '"') {
                state = State::Quoted;
            }
            break;
        case State::Quoted:
            if (c == '"') {
                state = State::AfterValue;
            }
            break;
        case State::AfterValue:
            if (c == ',') {
                state = State::AfterComma;
                tokenSeen = false;
                remembered = SkipBlanks(p + 1);
            }
            break;
        }
    }
    return nullptr;
}

char *QZ_HTTP_AuthParam(const char *challenge, size_t length, const char *name, char *output,
                        size_t maximum) {
    if (output == nullptr) {
        return output;
    }
    output[0] = '\0';
    if (challenge == nullptr || name == nullptr || name[0] == '\0') {
        return output;
    }
    // Only the first length characters count, and never past the text's end.
    const size_t limit = strnlen(challenge, length);
    const char *const end = challenge + limit;

    const char *p = challenge;
    while (p < end && *p != ' ') {  // the scheme
        ++p;
    }
    while (p < end) {
        while (p < end && *p == ' ') {
            ++p;
        }
        if (p >= end) {
            break;
        }
        const char *q = p;
        const char *n = name;
        while (*n != '\0' && q < end &&
               Lower(static_cast<unsigned char>(*q)) == Lower(static_cast<unsigned char>(*n))) {
            ++q;
            ++n;
        }
        if (*n == '\0' && q < end && (*q == ' ' || *q == '=')) {
            const char *open = static_cast<const char *>(
                std::memchr(q, '"', static_cast<size_t>(end - q)));
            if (open == nullptr) {
                return output;  // no quoted value follows
            }
            const char *value = open + 1;
            const char *close = static_cast<const char *>(
                std::memchr(value, '"', static_cast<size_t>(end - value)));
            size_t valueLength = static_cast<size_t>((close != nullptr ? close : end) - value);
            if (valueLength > maximum) {
                valueLength = maximum;
            }
            std::memcpy(output, value, valueLength);
            output[valueLength] = '\0';
            return output;
        }
        // Not the wanted parameter: on to the next "," outside double quotes.
        bool quoted = false;
        while (p < end && (quoted || *p != ',')) {
            if (*p == '"') {
                quoted = !quoted;
            }
            ++p;
        }
        if (p < end) {
            ++p;  // the ","
        }
    }
    return output;
}

char *QZ_HTTP_AuthToken(const char *text, char *output, size_t maximum) {
    if (output == nullptr) {
        return output;
    }
    size_t length = 0;
    if (text != nullptr) {
        while (length < maximum && text[length] != '\0' && text[length] != ' ' &&
               text[length] != ',') {
            output[length] = text[length];
            ++length;
        }
    }
    output[length] = '\0';
    return output;
}

}  // extern "C"
