// Failing writes: the data layer's write hooks set so that one chosen write
// of dataReplaceFile fails as on a full disk.
#pragma once

// From dataFailWrite(n) on, the n-th write that dataReplaceFile makes fails.
// Counted as writes: creating the temporary file, each fwrite or fprintf of
// a writer, and the rename. n = 0 takes the hooks out again.
// dataWritesCounted() tells how many writes were made since: fewer than n
// when the fault was never reached.
void dataFailWrite(long n);
long dataWritesCounted(void);
