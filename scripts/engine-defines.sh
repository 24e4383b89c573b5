# The database engine's compile-time settings, one list for every build of
# it: the programs' (scripts/build-deps.sh) and the native engine-alone
# benchmark's (scripts/bench.sh). Sourced, not run.
SQLITE_DEFINES=(
  -DSQLITE_TEMP_STORE=1 -DSQLITE_THREADSAFE=1
  -DSQLITE_DEFAULT_PAGE_SIZE=1024 -DSQLITE_DEFAULT_CACHE_SIZE=2000
  -DSQLITE_DEFAULT_FILE_FORMAT=1
  -DSQLITE_OMIT_LOAD_EXTENSION
  # Plain seek-and-read file access instead of overlapped reads at an
  # offset: the same on Windows, and ten times faster under Wine, where
  # the tests and benchmarks run.
  -DSQLITE_WIN32_NO_OVERLAPPED
  # The scratch space of a page split (at most seven pages) on the stack,
  # not from the heap: a long job splits pages all the time, and in a heap
  # that the program's windows and searches have left full of small free
  # blocks each such block is found only after a long search.
  -DSQLITE_USE_ALLOCA
)
