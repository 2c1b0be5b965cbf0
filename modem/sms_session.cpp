#include "modem/sms_session.h"

#include <utility>

#include "modem/pdu_format.h"
#include "modem/sms_modem.h"
#include "modem/standard_session.h"
#include "modem/text_format.h"
#include "serial/serial_device.h"

namespace smstest {

std::unique_ptr<SmsSession> make_sms_session(CommandSet set, std::unique_ptr<SerialDevice> device,
                                             Clock& clock) {
  switch (set) {
    case CommandSet::kText:
      return std::unique_ptr<SmsSession>(new StandardSession(
          std::unique_ptr<MessageFormat>(new TextFormat), std::move(device), clock));
    case CommandSet::kPdu:
      return std::unique_ptr<SmsSession>(new StandardSession(
          std::unique_ptr<MessageFormat>(new PduFormat), std::move(device), clock));
    case CommandSet::kProprietary:
      break;
  }
  return std::unique_ptr<SmsSession>(new SmsModem(std::move(device), clock));
}

}  // namespace smstest
