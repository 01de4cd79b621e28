// The worker thread that performs the runs, one at a time.
#pragma once

// Starts the next run on a new worker thread. The previous worker posted the
// message that leads here as its last step, so joining it first takes no
// time; no worker is ever left detached.
void gf_startWorkerThread();
// Joins the last worker; at the end of the program, once the message loop
// has ended and before any global goes away.
void gf_joinWorkerThread();
// True while a worker thread object is held (started and not joined).
bool gf_workerThreadHeld();
// True while the last worker's run has not returned.
bool gf_workerThreadRunning();
