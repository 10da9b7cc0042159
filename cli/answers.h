// Yes/no questions of a job, asked on the terminal or read from standard input.
#ifndef ZORVIK_CLI_ANSWERS_H
#define ZORVIK_CLI_ANSWERS_H

// Shows question on stderr and returns the answer: yes at once when yes is
// set; otherwise a line from standard input, "y" or "yes" meaning yes. On a
// terminal any other answer than yes or no is asked again; without one it
// means no. The end of input means no.
bool AskUser(const char *question, bool yes);

#endif
