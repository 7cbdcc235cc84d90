#pragma once

// Lets the calling thread yield the processor to interactive work: background workers call it
// first, so that catalogue scans and hashing never make the desktop sluggish.
void LowerCurrentThreadPriority();
