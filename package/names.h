// The rules for the part of a stored name below the working directory, one
// set for the launcher, which refuses an entry it must not write, and the
// writer, which refuses to pack a name the launcher would refuse. Bytes of an
// ANSI code page; no Windows header and no C runtime needed.
#ifndef PACKAGE_NAMES_H
#define PACKAGE_NAMES_H

// The lead bytes of a double-byte code page as Windows lists them in
// CPINFO::LeadByte: pairs of first and last byte of a range, ended by a pair
// of zeros. A single-byte code page has the zero pair only.
int IsLeadByte(const unsigned char *leadByteRanges, unsigned char byte);

enum NameFault {
    NAME_ACCEPTED = 0,
    NAME_LEADING_SEPARATOR,  // an absolute path or "\\server"
    NAME_CONTROL_CHARACTER,  // a byte below 32: never in a Windows name, and it would break a log line
    NAME_COLON,              // a drive such as "C:" or an alternate data stream
    NAME_CLIMBS_UP,          // "..", ". .", "... ": Windows drops trailing dots and blanks
    NAME_DEVICE,             // "nul", "CON.txt", "com1 .log", "COM¹"
    NAME_EMPTY_COMPONENT,    // two separators in a row, or one at the end
    NAME_SLASH,              // '/': Windows takes it for a separator that the launcher does not split at
    NAME_DROPPED_ENDING      // "dir ", "a.", ".": Windows drops trailing dots and blanks, and then
                             // makes or finds some other name than the one asked for
};

// Components between start and end (exclusive).
int ClimbsUp(const char *start, const char *end);
int NamesDevice(const char *start, const char *end);

// The first fault of `tail`, walked by characters so that the trail byte of a
// double-byte character is never taken for a separator; '\' separates, and
// '/', which Windows takes for a separator too, is a fault. Empty components
// are faults only when `emptyComponentsRefused` is set: the launcher
// extracts such names.
NameFault FindNameFault(const char *tail, const unsigned char *leadByteRanges, int emptyComponentsRefused);

#endif
