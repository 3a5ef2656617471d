// The one reader session of the library.
#include "marlix/session.h"

namespace zendor::marlix {

ReaderSession& readerSession() {
    static ReaderSession session;
    return session;
}

void endAuthentication() {
    readerSession().secure = SecureSession{};
}

}  // namespace zendor::marlix
