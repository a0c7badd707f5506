// The mail client's error table: codes and their message texts.

#include "qz/qzsocket.h"
#include "qz/qztrace.h"

#include <cstdio>

namespace {

struct MailErrorText {
    int16_t code;
    const char *text;
    bool takesArgument;  // the text is followed by the argument ("%s" at its end)
};

constexpr MailErrorText kMailErrors[] = {
    {-1, "Invalid request", false},
    {0, "OK", false},
    {1, "Already logged in", false},
    {2, "Not logged in", false},
    {3, "Could not complete login", false},
    {6, "Invalid sender name: ", true},
    {7, "Invalid sender address: ", true},
    {8, "Invalid user name: ", true},
    {9, "Invalid password", false},
    {10, "Could not send message", false},
    {11, "No messages to receive.", false},
    {12, "Could not delete message", false},
    {13, "No main recipient specified", false},
    {14, "Invalid recipient: ", true},
    {15, "Invalid attachment: ", true},
    {16, "Could not save attachment: ", true},
    {17, "Invalid Authentication value", false},
    {18, "Not enough memory", false},
    {19, "Connection lost", false},
    {20, "Timeout exceeded", false},
    {21, "Memory allocation error", false},
    {23, "The server does not recognize any of the supported authentication methods", false},
    {24, "Authentication error", false},
    {25, "User or password refused", false},
    {26, "No current message", false},
    {27, "Invalid NewMessages value", false},
    {100, "Invalid mode", false},
};

}  // namespace

extern "C" {

void QZ_MailError(QZ_MailErrorRecord *error, int16_t code, const char *argument) {
    if (error == nullptr) {
        return;
    }
    error->code = code;
    for (const MailErrorText &entry : kMailErrors) {
        if (entry.code == code) {
            // Codes without a text (4, 5, 22, ...) leave the old text in place.
            std::snprintf(error->text, sizeof error->text, "%s%s", entry.text,
                          entry.takesArgument && argument != nullptr ? argument : "");
            break;
        }
    }
    if (code != 0) {
        QZ_Trace(0, "ERROR: %ld - %s\n\r", static_cast<long>(code), error->text);
    }
}

}  // extern "C"
