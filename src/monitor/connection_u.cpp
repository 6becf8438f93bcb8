#include "monitor/connection_u.h"

QList<TSocketThread*> RunningProbes;
