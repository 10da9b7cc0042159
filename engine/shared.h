// What both engines share: their common texts, the one way a text is put into
// a caller's buffer, and the percentage of progress.
#ifndef ZORVIK_ENGINE_SHARED_H
#define ZORVIK_ENGINE_SHARED_H

#include "engine/engine.h"
#include "platform/language.h"

#include <stddef.h>
#include <stdint.h>

inline constexpr char kGettingFileInfoText[] = N_("ﾌｧｲﾙ情報を取得中...");
inline constexpr char kDoneText[] = N_("完了");
inline constexpr char kCannotOpenText[] = N_("%sを開けません。");
inline constexpr char kChangedText[] = N_("%sは、読み込み中に変更されました。");

// Whether a text of literalSize bytes (terminator included) fits a buffer of
// ENGINE_TEXT_SIZE once its "%s" holds a path of MAX_PATH - 1 bytes. The
// building of the catalogs makes sure that no translation is longer than its
// text (po/build-catalogs.sh), so a text that fits fits in every language.
constexpr bool FitsEngineText(size_t literalSize)
{
    return literalSize - 2 + (MAX_PATH - 1) <= ENGINE_TEXT_SIZE;
}

static_assert(FitsEngineText(sizeof kCannotOpenText) && FitsEngineText(sizeof kChangedText),
              "ENGINE_TEXT_SIZE is too small");

// Formats format in the user's language (Translated), whose "%s" (if it has
// one) takes path as ShowablePath shows it, with wsprintfA and copies the
// result into message, cut to messageSize bytes with the terminator. Does
// nothing when message is null or messageSize is 0.
void SetEngineText(char *message, DWORD messageSize, const char *format, const char *path);

// How a step of an engine call ended: no text when it succeeded, else the
// failure's text and the path its "%s" names (null where it names none).
struct Failure {
    const char *text;
    const char *path;
};
inline constexpr Failure kNoFailure = {NULL, NULL};

// Ends an engine call once its files are closed: with a failure, its text and
// 0; otherwise 100 "done" to window (when not null), successText with
// successPath, and 1. The texts are in the user's language (Translated).
BOOL EndEngineCall(Failure failure, const char *successText, const char *successPath, char *message,
                   DWORD messageSize, HWND window, UINT progressMessage);

// part * 100 / whole, truncated, without overflow for any 32-bit-sized whole;
// 100 when whole is 0.
inline DWORD Percent(uint64_t part, uint64_t whole)
{
    return whole == 0 ? 100 : (DWORD)(part * 100 / whole);
}

// Progress of a part of a whole that only grows, sent in percent through
// SendProgress with the last value sent kept here.
struct ProgressThrottle {
    DWORD last;     // the last value sent, for SendProgress
    uint64_t next;  // the smallest part whose percentage SendProgress would let through
};

// SendProgress(Translated(status), message, Percent(part, whole),
// &throttle.last, window), and the next part whose percentage it would let
// through.
void SendPercent(ProgressThrottle &throttle, uint64_t part, uint64_t whole, const char *status, UINT message,
                 HWND window);

// Sends what SendPercent(throttle, part, whole, status, message, window)
// sends, but works out the percentage only once part has reached next: below
// it SendProgress would send nothing anyway. Called for every record, so the
// test is inline.
inline void ReportProgress(ProgressThrottle &throttle, uint64_t part, uint64_t whole, const char *status,
                           UINT message, HWND window)
{
    if (window != NULL && part >= throttle.next)
        SendPercent(throttle, part, whole, status, message, window);
}

#endif
