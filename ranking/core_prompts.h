// The four fixed "core-score" prompts the candidates are compared with in the
// default rank mode. The first three are followed by the normalised title; the
// marketing prompt is used alone, so one cache entry serves every title.
#pragma once

#include <string_view>

namespace quirvel {

inline constexpr std::string_view kCorePrompt =
    "电商搜索核心关键词，保留标题中的品牌、系列、型号、商品品类、规格和关键属性：";
inline constexpr std::string_view kCategoryPrompt =
    "电商商品类目边界判断，候选词应该能落到明确商品类别或可搜索商品实体：";
inline constexpr std::string_view kAttributePrompt =
    "电商商品属性边界判断，候选词优先包含型号、容量、尺码、颜色、材质、功效、适用对象、使用场景：";
inline constexpr std::string_view kMarketingPrompt =
    "商品标题中的店铺营销词、促销服务词、平台渠道词、时间活动词、官方旗舰店正品热卖包邮现货授权促销活动";

}  // namespace quirvel
