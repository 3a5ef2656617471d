// Packing a SettingsTable into its 512-byte tag-length-value image and back.
//
//   offset 0   FF 00                 clear marker, only when the table's clear flag is set
//   then       tag len value[len]    one entry per present slot, ascending tags, len 0 to 24
//   then       00 ...                zero up to offset 512; a 00 tag ends the entry list
//
// Entries never touch the last two bytes (510 and 511): the reader refuses such an image, so the
// builder refuses to make one.
#pragma once

#include "settings/settings_table.h"

namespace zendor::settings {

// Fills image from table. Fails without a message when table or image is null; fails with
// "Data length exceeded for tag %02X" for a present slot longer than 24 bytes, and with "Storage
// capacity exceeded after tag %02X" for the first entry that would reach byte 510. On failure the
// image holds the entries written so far and must not be used.
bool buildSettingsImage(const SettingsTable* table, SettingsImage* image);

// Clears table, then fills it from image; FF 00 sets the clear flag wherever it stands. Fails
// without a message when table or image is null; fails with "Bad length found" (length above 24,
// or an entry reaching byte 510) and "Duplicate tag %02X found". Any tag is accepted.
bool parseSettingsImage(SettingsTable* table, const SettingsImage* image);

}  // namespace zendor::settings
