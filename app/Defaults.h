// Factory values that the form and "Restore" put into the fields.
#pragma once

inline constexpr char kDefaultServerAddress[] = "190.64.122.10";
inline constexpr char kDefaultPhoneNumber[] = "59899123456";
