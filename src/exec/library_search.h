#ifndef KOVEX_EXEC_LIBRARY_SEARCH_H_
#define KOVEX_EXEC_LIBRARY_SEARCH_H_

// Makes every library this process loads by bare name from now on come from
// the system directory only: never from the program's own folder (a download
// folder, typically, where a library named like a system one may lie), the
// working directory or PATH. The shell loads libraries as it goes, so this
// comes first in main, before any outside program is started. Libraries
// already loaded stay; a start-up failure of the restriction is not reported
// (the output is fixed), and where the system lacks SetDefaultDllDirectories
// the working directory at least is taken out of the search.
void RestrictLibrarySearch();

#endif  // KOVEX_EXEC_LIBRARY_SEARCH_H_
