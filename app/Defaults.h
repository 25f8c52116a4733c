// Factory values that the form and "Restore" put into the fields.
#pragma once

// The server the form starts with.
inline constexpr char kDefaultServerAddress[] = "190.64.122.10";
// What "Restore" puts in all three server rows.
inline constexpr char kRestoreServerAddress[] = "190.64.122.20";
// What "Restore" puts in all three SMS numbers.
inline constexpr char kDefaultPhoneNumber[] = "59899123456";
