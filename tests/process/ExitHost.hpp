#pragma once

// What the exit test's host program and the test that judges it share.
namespace zqb::test::exit_host {

constexpr const char* kApplicationKey = "exit-test-key";
constexpr const char* kBundleIdentifier = "com.example.exittest";
constexpr const char* kEventName = "exit-probe";

}  // namespace zqb::test::exit_host
