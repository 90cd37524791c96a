// Creating and removing the nested directories of an entry below a base.
#ifndef FSUTIL_DIRCHAIN_H
#define FSUTIL_DIRCHAIN_H

// `base` ends in a backslash; `relative` is empty or ends in one.
int CreateDirectoryChain(const char *base, const char *relative);
int RemoveDirectoryChain(const char *base, const char *relative);
int ProbeWritable(const char *directory);

#endif
