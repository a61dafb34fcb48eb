#pragma once
// How the program's heap is served by the system.

namespace taloveric {

// Every Windows 9x registry file read brings libcreg caches of 2 MiB each,
// cleared as they are made: served from the heap and kept there once freed,
// so that the next file's reuse them; and the heap's first 64 MiB are asked
// to be served in huge pages, so that each cache is one page fault, where it
// would be 512. Call once, first.
void PrepareHeap();

}  // namespace taloveric
