#include "recordlayer/CDBException.h"

#include <utility>

namespace rl {

CDBException::CDBException(std::string sqlState, long nativeError, std::string message)
    : std::runtime_error(message),
      sqlState_(std::move(sqlState)),
      nativeError_(nativeError),
      message_(std::move(message)) {}

CDBException::CDBException(std::string sqlState, long nativeError, std::string message,
                           std::string_view context)
    : std::runtime_error(std::string(context) + ": " + message),
      sqlState_(std::move(sqlState)),
      nativeError_(nativeError),
      message_(std::move(message)) {}

}  // namespace rl
