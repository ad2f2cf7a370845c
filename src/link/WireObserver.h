#pragma once
#include <cstdint>

// How one attempt's reply ended, as the request/reply engine saw it.
enum class TWireOutcome : uint8_t {
    None,           // a request; or a reply accepted as it is
    Crc,            // the reply's CRC is wrong
    Timeout,        // nothing came within the timeout
    Incomplete,     // the reply stopped short of its length
    OtherFunction,  // the reply answers another function
    TooLong,        // the reply would not fit the buffer
    Late,           // bytes of an earlier reply, found and discarded before sending
    PortFailure     // the port itself failed while the reply came
};

// One crossing of the wire: a request sent, or what came back for it.
struct TWireEvent {
    bool ToModule = true;
    const uint8_t* Bytes = nullptr;  // as on the wire, noise included
    int Length = 0;
    // For a reply: the request it answers; for late bytes: the request about to go out.
    const uint8_t* Request = nullptr;
    int RequestLength = 0;
    // For a reply or late bytes: the request of the exchange before, whose reply may still be
    // coming in among them. Null before the first exchange.
    const uint8_t* Previous = nullptr;
    int PreviousLength = 0;
    TWireOutcome Outcome = TWireOutcome::None;
    int NoiseBytes = 0;  // bytes before the frame that were skipped
    int TimeoutMs = 0;
    int Attempt = 1;
    int Attempts = 1;
};

// Watches the frames of a request/reply engine. Called on the thread that runs the exchange, so
// it must only note the event and return.
class TWireObserver {
public:
    virtual ~TWireObserver() = default;
    virtual void OnWire(const TWireEvent& event) = 0;
};
