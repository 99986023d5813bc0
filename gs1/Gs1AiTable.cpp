#include "gs1/Gs1AiTable.h"

#include "gs1/Gs1AiTableData.h"

namespace korvex::internal {

const Gs1AiDefinition* FindGs1Ai(std::string_view ai) {
  // AIs of one entry share their length, so digit strings of equal length compare as numbers.
  for (const Gs1AiDefinition& definition : kGs1AiDefinitions) {
    if (ai.size() == definition.first.size() && ai >= definition.first && ai <= definition.last) {
      return &definition;
    }
  }
  return nullptr;
}

}  // namespace korvex::internal
