#ifndef KOVEX_EXEC_PROCESS_TREE_H_
#define KOVEX_EXEC_PROCESS_TREE_H_

// The processes a program started, for the Windows pieces of both programs
// (handles as void*, so that this header needs no windows.h).

// A job that ends every process in it when its last handle closes: when the
// caller ends, however it ends, so does what it put in the job. Null when
// the system refuses one. A process put into it with
// AssignProcessToJobObject takes its later children with it, not those it
// started before; and where the caller runs in a job that allows no nested
// job (Windows 7 and Server 2008 R2), the assignment fails.
void* JobEndingWithCaller();

// Takes kill-on-close off a job from JobEndingWithCaller, so that closing
// its last handle leaves what is still in it running; false when the system
// refused (then closing it would end what is in it).
bool LeaveJobRunning(void* job);

// Ends `process`, every process in `job` (may be null), and every process
// `process` started and they started in turn, found by their parent's
// process ID: those that escaped the job, having started before the
// assignment or where there is none. A process counts as a child only if it
// was created after its parent, so that one whose parent ID has been
// reused is left alone. Waits a few seconds at most for them to end.
void EndProcessTree(void* job, void* process);

#endif  // KOVEX_EXEC_PROCESS_TREE_H_
