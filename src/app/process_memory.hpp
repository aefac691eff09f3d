// Memory set-up of the process: one heap that keeps what it has been given, backed by huge pages
// where the system offers them.
#pragma once

namespace tessel {

// Called once at the start of main(). A job allocates and frees tables and arrays of a few
// hundred kilobytes to hundreds of megabytes, stage after stage and job after job; the heap is
// told to keep freed memory for the next stage instead of returning it to the system, and to
// take its memory in large steps that the system may back with 2 MB pages. Touching fresh
// memory costs a page fault per 4 kB page otherwise, which dominates a small job's run time on
// virtual machines. Does nothing where the C library or the system offers no such controls.
void prepare_process_memory();

}  // namespace tessel
