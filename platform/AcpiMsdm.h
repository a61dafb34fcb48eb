#pragma once
// The product key a computer sold with Windows 8 or later carries in its
// firmware: the ACPI "MSDM" table (Microsoft's software licensing table), as
// Linux shows it in /sys/firmware/acpi/tables/MSDM or `acpidump -b` writes it.
//
// Layout: the 36-byte ACPI header ("MSDM", its length, revision, checksum,
// OEM id, OEM table id, OEM revision, creator id and revision), then version,
// reserved, data type, reserved and data length (four bytes each), then the
// data: the key, 29 characters "XXXXX-XXXXX-XXXXX-XXXXX-XXXXX".

#include <string>
#include <string_view>

namespace taloveric {

struct FirmwareKey {
  std::string key;      // empty unless the table is whole and holds a key
  std::string oemId;    // the maker as the table names it ("LENOVO")
  std::string problem;  // why the table is not trusted; empty when it is
};

// Whether `head` starts as an MSDM table does.
bool LooksLikeMsdm(std::string_view head);

// Reads a whole table: its declared length within the bytes, its checksum
// (all its bytes add up to zero), and a key of key digits in groups of five.
FirmwareKey ReadMsdm(std::string_view table);

}  // namespace taloveric
