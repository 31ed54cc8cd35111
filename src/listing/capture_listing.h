#ifndef KOVEX_LISTING_CAPTURE_LISTING_H_
#define KOVEX_LISTING_CAPTURE_LISTING_H_

// A device console listing reaches the cleanup through a text file in the
// working directory: the command interpreter redirects the listing into it,
// and the cleanup reads it back with ReadLines. The files are left in place
// after the run.

// Runs the command interpreter with " /C devcon <listing> <redirection>
// <file_name>", `redirection` being ">" (create or empty the file) or ">>"
// (append to it), and returns the runner's status.
int CaptureListing(const wchar_t* listing, const char* redirection,
                   const char* file_name);

#endif  // KOVEX_LISTING_CAPTURE_LISTING_H_
