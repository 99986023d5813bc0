#include "library/TypedParameters.h"

#include <cstdio>
#include <initializer_list>

namespace korvex::internal {

namespace {

// A typed value and what the parameter rules made of it.
struct Reading {
  const char* option;
  long long given;
  long long read;
};

Status CheckReadings(std::initializer_list<Reading> readings) {
  for (const Reading& reading : readings) {
    if (reading.given != reading.read) {
      return Status(Result::InvalidArgument,
                    std::string(reading.option) + ": " + std::to_string(reading.given) + " is out of range");
    }
  }
  return Status();
}

std::string HexColour(uint32_t rgb) {
  char text[8];
  std::snprintf(text, sizeof text, "%06x", static_cast<unsigned>(rgb));
  return text;
}

const char* Switch(int32_t value) { return value != 0 ? "1" : "0"; }

// Every byte as tilde data that the encoder reads back as that byte alone.
std::string TildeEscaped(const char* data, std::size_t size) {
  std::string escaped;
  escaped.reserve(size);
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == '~') {
      escaped += "~~";
    } else if (data[i] == '\0') {
      escaped += "~X00";
    } else {
      escaped += data[i];
    }
  }
  return escaped;
}

}  // namespace

StatusOr<ParameterList::Pairs> EncodeParameters(const void* data, std::size_t size,
                                                const korvex_encode_options& options) {
  const char* bytes = static_cast<const char*>(data);
  if (bytes == nullptr && size > 0) return Status(Result::InvalidArgument, "data: NULL");
  const std::string given(bytes == nullptr ? "" : bytes, size);
  ParameterList::Pairs parameters;
  switch (options.input) {
    case KORVEX_INPUT_BYTES:
      parameters = {{"data", TildeEscaped(given.data(), size)}};
      break;
    case KORVEX_INPUT_UTF8:
      parameters = {{"data", TildeEscaped(given.data(), size)}, {"utf8", "1"}};
      break;
    case KORVEX_INPUT_TILDE:
    case KORVEX_INPUT_GS1:
    case KORVEX_INPUT_GS1_DIGITAL_LINK:
      // A parameter value is text: a NUL would silently end the data.
      if (given.find('\0') != std::string::npos) {
        return Status(Result::InvalidArgument,
                      "data: a NUL byte cannot be part of tilde, GS1 or Digital Link text (~X00 writes one in tilde data)");
      }
      parameters = {{"data", given}};
      if (options.input == KORVEX_INPUT_GS1) {
        parameters.emplace_back("gs1", "1");
        parameters.emplace_back("gssep", Switch(options.gs1_separator));
        if (options.digital_link_stem != nullptr) parameters.emplace_back("dl", options.digital_link_stem);
      }
      if (options.input == KORVEX_INPUT_GS1_DIGITAL_LINK) parameters.emplace_back("gs1dl", "1");
      break;
    default:
      return Status(Result::InvalidArgument, "input: " + std::to_string(options.input) + " is out of range");
  }
  parameters.emplace_back("dmre", Switch(options.dmre));
  parameters.emplace_back("fmt", std::to_string(options.format));
  parameters.emplace_back("shape", std::to_string(options.shape));
  parameters.emplace_back("mode", std::to_string(options.mode));
  parameters.emplace_back("minimal", Switch(options.minimal));

  ParameterList list(parameters);
  const RequestSettings settings = GatherRequestSettings(list);
  const Status checked = CheckReadings({{"format", options.format, settings.encoding.preferredFormat},
                                        {"shape", options.shape, static_cast<int32_t>(settings.encoding.shape)},
                                        {"mode", options.mode, static_cast<int32_t>(settings.encoding.encodingMode)}});
  if (!checked.Ok()) return checked;
  return parameters;
}

ParameterList::Pairs DrawingParameters(const korvex_drawing_options& options, OutputKind output) {
  ParameterList::Pairs parameters = {
      {"out", output == OutputKind::Svg ? "svg" : "png"},
      {"compact", Switch(output == OutputKind::CompactPng)},
      {"quiet", Switch(options.quiet_zone)},
      {"qsize", std::to_string(options.quiet_zone)},
      {"fcolor", HexColour(options.foreground)},
      {"bcolor", HexColour(options.background)},
      {"angle", std::to_string(options.angle)},
      {"alignh", std::to_string(options.align_h)},
      {"alignv", std::to_string(options.align_v)},
      {"dpi", std::to_string(options.dpi)},
  };
  if (options.width != 0) parameters.emplace_back("w", std::to_string(options.width));
  if (options.height != 0) parameters.emplace_back("h", std::to_string(options.height));
  parameters.emplace_back("xdim", std::to_string(options.module_size));
  return parameters;
}

Status CheckDrawingSettings(const korvex_drawing_options& options, const RequestSettings& settings) {
  if (options.foreground > 0xFFFFFFu || options.background > 0xFFFFFFu) {
    return Status(Result::InvalidArgument, "colour: not an RGB value 0xRRGGBB");
  }
  // xdim counts only where no size is given, here or among the symbol's own parameters.
  const bool sized = options.width != 0 || options.height != 0 || settings.sizeGiven;
  return CheckReadings(
      {{"width", options.width, options.width != 0 ? settings.width : 0},
       {"height", options.height, options.height != 0 ? settings.height : 0},
       {"module_size", options.module_size, sized ? options.module_size : static_cast<long long>(settings.xDimension)},
       {"quiet_zone", options.quiet_zone, settings.drawing.quietZone ? settings.drawing.quietZoneSize : 0},
       {"angle", options.angle, settings.drawing.orientation},
       {"align_h", options.align_h, settings.drawing.alignH},
       {"align_v", options.align_v, settings.drawing.alignV},
       {"dpi", options.dpi, settings.resolutionDpi}});
}

}  // namespace korvex::internal
