// The run-time error that every platform wrapper raises: a number and the
// customary description, so that "Error: <Operation>: <description>" reads the
// same whichever platform produced it.
#pragma once

#include <stdexcept>
#include <string>

namespace tkw::host {

class RuntimeError : public std::runtime_error {
 public:
  RuntimeError(int number, const std::string& description)
      : std::runtime_error(description), number_(number) {}

  int number() const { return number_; }
  std::string description() const { return what(); }

  static RuntimeError InvalidProcedureCall() { return {5, "Invalid procedure call or argument"}; }
  static RuntimeError Overflow() { return {6, "Overflow"}; }
  static RuntimeError OutOfMemory() { return {7, "Out of memory"}; }
  static RuntimeError FileNotFound() { return {53, "File not found"}; }
  static RuntimeError BadFileNameOrNumber() { return {52, "Bad file name or number"}; }
  static RuntimeError FileAlreadyOpen() { return {55, "File already open"}; }
  static RuntimeError DiskFull() { return {61, "Disk full"}; }
  static RuntimeError PermissionDenied() { return {70, "Permission denied"}; }
  static RuntimeError PathFileAccessError() { return {75, "Path/File access error"}; }
  static RuntimeError PathNotFound() { return {76, "Path not found"}; }
  static RuntimeError ObjectNotSet() {
    return {91, "Object variable or With block variable not set"};
  }
  static RuntimeError CannotCreateObject() {
    return {429, "ActiveX component can't create object"};
  }
  static RuntimeError InvalidPicture() { return {481, "Invalid picture"}; }
  static RuntimeError CannotOpenClipboard() { return {521, "Can't open Clipboard"}; }
  static RuntimeError AutomationError(const std::string& detail) { return {440, detail}; }

 private:
  int number_;
};

}  // namespace tkw::host
