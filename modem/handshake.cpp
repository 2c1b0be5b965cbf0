#include "modem/handshake.h"

#include "serial/com_port.h"

namespace smstest {

bool open_modem_port(ComPort& port, int portNumber, int baudRate, int testTimeout,
                     int64_t testStart) {
  return port.open_com(portNumber, baudRate, testTimeout, testStart);
}

}  // namespace smstest
