#ifndef KOVEX_RUN_CLEANUP_RUN_H_
#define KOVEX_RUN_CLEANUP_RUN_H_

// The whole run: the banner, the six cleanup steps in their fixed order, and
// the closing line. Nothing a step meets stops it.
void RunCleanup();

#endif  // KOVEX_RUN_CLEANUP_RUN_H_
