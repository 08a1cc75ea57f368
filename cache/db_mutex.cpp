#include "db_mutex.h"

QBasicMutex dbMutex;
