// zorvik info: what a patch holds, told without applying it.
#ifndef ZORVIK_CLI_INFO_H
#define ZORVIK_CLI_INFO_H

// Reads the patch at path through and prints the report on stdout: in lines
// of the user's language (Translated), or as one JSON object, the same in
// every language, when json is set; with every record
// when records is set, as they are read. For a patch that breaks, the
// records before the break are counted. A patch that cannot be opened or read is also named
// on stderr. Returns the exit status: success for a well-formed patch,
// failure otherwise.
int RunInfo(const char *path, bool records, bool json);

#endif
