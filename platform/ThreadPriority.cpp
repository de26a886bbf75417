#include "platform/Thread.h"

namespace platform {

ThreadPriority priorityFromKind(int kind) {
    switch (kind) {
        case 1: return ThreadPriority::BelowNormal;
        case 2: return ThreadPriority::Normal;
        case 3: return ThreadPriority::AboveNormal;
        default: return ThreadPriority::Idle;
    }
}

}  // namespace platform
