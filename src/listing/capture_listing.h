#ifndef KOVEX_LISTING_CAPTURE_LISTING_H_
#define KOVEX_LISTING_CAPTURE_LISTING_H_

#include <optional>

#include "listing/listing.h"

// A device console listing reaches the cleanup through a text file in the
// working directory: the command interpreter redirects the listing into it,
// and the cleanup reads it back with ReadLines. The files are left in place
// after the run.

// Runs the command interpreter with " /D /C devcon -u <listing>
// <redirection> <file_name>", `redirection` being ">" (create or empty the
// file) or ">>" (append to it). /D keeps the AutoRun commands of the
// registry out of the interpreter, which runs with the tool's rights; -u
// has the tool write UTF-16, so that every character of a name arrives and
// no line is cut. Through the interpreter the status is the tool's: a tool
// too old for -u answers kDevconUsageStatus, and then the capture runs
// again without -u, as does every later one of the run (UnicodeOption).
//
// Returns how to read the file when the listing may be read: the runner's
// status was 0 and the file is there afterwards; nothing otherwise. Before
// a ">" capture the file is deleted, so that a file left by an earlier run
// (or by another machine, in a shared folder) is never taken for this run's
// listing; when it cannot be deleted, nothing is run and the listing has
// failed. A capture that reports success without its file (the interpreter
// wrote it into another folder) has failed too.
std::optional<ListingEncoding> CaptureListing(const wchar_t* listing,
                                              const char* redirection,
                                              const char* file_name);

// Starts a run's captures afresh: the next one asks for -u again. The
// cleanup's run calls it first.
void StartCaptures();

#endif  // KOVEX_LISTING_CAPTURE_LISTING_H_
