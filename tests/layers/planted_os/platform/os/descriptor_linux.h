// Passes: a file of one operating system uses its headers.
#include <unistd.h>
#include <sys/ioctl.h>
