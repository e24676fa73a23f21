#include "TQueueIDChanel.h"

int TQueueIDChanel::GetPendingCount() {
    return -1;
}
