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
)
