// The engine's progress on stderr: a bar that redraws itself on a terminal,
// one line per report otherwise (when asked for), nothing else.
#ifndef ZORVIK_CLI_PROGRESS_H
#define ZORVIK_CLI_PROGRESS_H

enum ProgressStyle { kProgressNone, kProgressBar, kProgressLines };

// The style for this run: a bar when stderr is a terminal, lines when
// wanted, else none.
ProgressStyle ChooseProgressStyle(bool wanted);

// Shows percent and status (null keeps the last status shown).
void ShowProgress(ProgressStyle style, unsigned percent, const char *status);

// Clears a bar, so that what is printed next starts on a clean line.
void EndProgress(ProgressStyle style);

#endif
