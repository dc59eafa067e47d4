#pragma once
// The host hands a control its environment object as a "stream": an opaque
// integer token, as a COM host marshals an interface into a stream that the
// control unmarshals. The table lives on the application object, which the
// host program and every plug-in library share (each library has its own
// copy of our static libraries, so a table of ours would not be shared).

#include <QObject>

#include <cstdint>

namespace quillpad {

// A token for `environment`; it stays valid until unmarshalled once or
// until the object goes.
std::int32_t MarshalEnvironment(QObject* environment);
// The object of a token, once: the token is spent. Null for an unknown,
// spent or stale token.
QObject* UnmarshalEnvironment(std::int32_t token);

}  // namespace quillpad
