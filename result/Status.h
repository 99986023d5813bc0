#pragma once

#include <optional>
#include <string>
#include <utility>

#include "result/ResultCode.h"

namespace korvex::internal {

// A result code with what exactly failed, when the code alone does not say: the one value in
// which a failure travels from the step that found it to the front end that reports it.
class Status {
 public:
  Status() = default;  // success
  Status(ResultCode code, std::string detail = {}) : code_(code), detail_(std::move(detail)) {}  // NOLINT: a code is a status

  bool Ok() const { return code_ == Result::Ok; }
  ResultCode Code() const { return code_; }
  const std::string& Detail() const { return detail_; }

 private:
  ResultCode code_ = Result::Ok;
  std::string detail_;
};

// A value, or the failure that kept it from being made.
template <typename T>
class StatusOr {
 public:
  StatusOr(T value) : value_(std::move(value)) {}              // NOLINT: a value is a success
  StatusOr(Status failure) : status_(std::move(failure)) {}    // NOLINT: and a failure is not
  StatusOr(ResultCode code) : status_(code) {}                 // NOLINT

  bool Ok() const { return value_.has_value(); }
  const Status& GetStatus() const { return status_; }
  ResultCode Code() const { return status_.Code(); }
  const std::string& Detail() const { return status_.Detail(); }
  const T& Value() const& { return *value_; }
  T& Value() & { return *value_; }
  T&& Value() && { return std::move(*value_); }
  const T* operator->() const { return &*value_; }
  const T& operator*() const { return *value_; }

 private:
  std::optional<T> value_;
  Status status_;
};

}  // namespace korvex::internal
