#ifndef KOVEX_EXEC_RUN_LINES_H_
#define KOVEX_EXEC_RUN_LINES_H_

// How the cleanup's lines that tell of a program not run to its end begin:
// printed by the runner (runner.cc), read back in a cleanup's log by the
// check (check/cleanup_log.h), so that both go by the same words.

// A program not started: the run's deadline was spent, or the run waited it
// out for another cleanup ("\t Not started, the run's 1500 s are spent: ...").
constexpr char kNotStartedLine[] = "\t Not started, the run's ";

// A program ended at a limit, its own or the run's ("\t Not finished within
// 600 s, ended: ...").
constexpr char kNotFinishedLine[] = "\t Not finished within ";

// A program the shell could not start ("\t \t Failed to launch process Error
// Code 2: ...").
constexpr char kLaunchFailedLine[] = "\t \t Failed to launch process";

#endif  // KOVEX_EXEC_RUN_LINES_H_
