// What each command's payload holds, described once for each way it travels. The request
// functions build their payloads from it and the engine unpacks with it; the window, the
// traffic inspector and the generated dissector take their labels, limits and secrets from it.
#pragma once

#include <QByteArray>
#include <array>
#include <cstdint>
#include <initializer_list>

enum class FieldKind : uint8_t {
    Byte,     // one byte
    U16,      // two bytes, big-endian
    Counted,  // a count byte, then that many bytes, at most `limit`
    Fixed,    // exactly `limit` bytes
    Rest,     // every byte to the payload's end, at most `limit`
};

enum class FieldSecret : uint8_t {
    None,
    Whole,          // every byte of the value
    TriggerValues,  // the values of the text's "!USER=" and "!PASS=" lines
};

// The frame a payload travels in.
enum class PayloadWay : uint8_t {
    Request,        // the tool asks
    Reply,          // the module answers a request
    ModuleStarted,  // the module starts a frame
    ToolReply,      // the tool answers a frame the module started
};

struct CatalogueField {
    const char *id;     // stable: "gpio.pin"; Wireshark's field names carry it
    const char *label;  // for people: "pin"
    FieldKind kind;
    uint16_t limit;  // Counted and Rest: the most bytes; Fixed: the bytes
    FieldSecret secret;
    bool binary = false;  // bytes of any value, not text: front ends show them in base64
};

constexpr int CATALOGUE_MAX_FIELDS = 4;

struct CataloguePayload {
    uint8_t cmdId;
    PayloadWay way;
    uint8_t fieldCount;
    std::array<const CatalogueField *, CATALOGUE_MAX_FIELDS> fields;
    // Counted request texts that share one payload share this many bytes of it.
    uint16_t sharedLimit;
};

// The payload of `cmdId` travelling `way`, or null when the catalogue has none: an id that does
// not travel that way, or a frame with no payload.
const CataloguePayload *catalogue_payload(uint8_t cmdId, PayloadWay way);
// Every payload the catalogue describes, in id order.
const CataloguePayload *catalogue_begin();
const CataloguePayload *catalogue_end();
// The field of a stable id, or null.
const CatalogueField *catalogue_field(const char *fieldId);
// Which way a frame of this direction and status byte travels.
PayloadWay payload_way(bool fromModule, uint8_t status);

// One field read from a payload.
struct FieldValue {
    const CatalogueField *field = nullptr;
    uint16_t offset = 0;  // where the value starts (after a counted field's count byte)
    uint16_t length = 0;  // the value's bytes
    uint32_t number = 0;  // Byte and U16
};

// A payload read by its description, as far as its bytes reach.
struct PayloadFields {
    std::array<FieldValue, CATALOGUE_MAX_FIELDS> values{};
    uint8_t count = 0;      // fields read whole, from the first
    bool complete = false;  // every field was there whole
    uint16_t extra = 0;     // bytes past the last field

    const FieldValue *find(const char *fieldId) const;
    // The value's bytes within `payload`, or an empty array for a field not read.
    QByteArray bytes(const QByteArray &payload, const char *fieldId) const;
};

PayloadFields catalogue_read(const CataloguePayload &description, const uint8_t *payload,
                             uint16_t length);
inline PayloadFields catalogue_read(const CataloguePayload &description,
                                    const QByteArray &payload) {
    return catalogue_read(description, reinterpret_cast<const uint8_t *>(payload.constData()),
                          static_cast<uint16_t>(payload.size()));
}

// Why a request was not queued. The request functions return LINK_QUEUED (1) or
// LINK_TABLE_FULL (0) as they always did; every other refusal is negative, so `> 0` still
// means queued. What was refused, and its limit, is in link_last_refusal().
enum LinkRequestResult : int {
    LINK_QUEUED = 1,
    LINK_TABLE_FULL = 0,
    LINK_REFUSED_OUT_OF_RANGE = -1,  // a number outside what its field takes
    LINK_REFUSED_TOO_LONG = -2,      // a text or data longer than its field's limit
    LINK_REFUSED_NEVER_FITS = -3,    // its bytes 7E, 9E and CE take two places: no frame holds it
    LINK_REFUSED_SMS_IN_PROGRESS = -4,  // the SMS before has no outcome yet
    LINK_REFUSED_NO_TRANSFER = -5,      // a part of a transfer that was never begun
};

struct LinkRefusal {
    LinkRequestResult result = LINK_QUEUED;
    const CatalogueField *field = nullptr;  // the field at fault, where one is
    int limit = 0;                          // its limit (bytes, or the highest number)
    int given = 0;                          // what it was given (bytes, or the number)
};

// The last refusal of a request function on this thread; result LINK_QUEUED after a request
// that queued.
LinkRefusal link_last_refusal();
// Records `refusal` as this thread's last and returns its result.
int link_note_refusal(const LinkRefusal &refusal);
// The same for an outcome that names no field: queued, a full table, an SMS in progress.
int link_note_refusal(LinkRequestResult result);

// A value for one field: a number for Byte and U16, bytes for the others.
struct FieldInput {
    FieldInput(int value) : number(value) {}  // NOLINT: a field's value reads as itself
    FieldInput(const QByteArray &value) : bytes(value), isBytes(true) {}  // NOLINT
    int number = 0;
    QByteArray bytes;
    bool isBytes = false;
};

// Builds the payload of `cmdId` travelling `way` from one value per field, in order. Refuses a
// number outside its field, a value over its limit (or over what the fields sharing the payload
// leave it) and a payload that no frame can hold once escaped. A refusal leaves `out` as it was.
LinkRefusal catalogue_build(uint8_t cmdId, PayloadWay way, std::initializer_list<FieldInput> values,
                            QByteArray *out);
// catalogue_build for a request; a refusal is noted as this thread's last.
bool catalogue_build_request(uint8_t cmdId, std::initializer_list<FieldInput> values,
                             QByteArray *out);
// The most bytes a Counted, Fixed or Rest field takes, or the highest number of a Byte or U16.
int catalogue_limit(const CatalogueField &field);
