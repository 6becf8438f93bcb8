// Server probes: one background probe per request, the list of those still running.
#pragma once

#include <QList>

class TSocketThread;

// Probes started and not yet completed. Changed on the main thread only; the program's end waits
// until it is empty.
extern QList<TSocketThread*> RunningProbes;
