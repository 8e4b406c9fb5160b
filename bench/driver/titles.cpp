#include "bench/driver/titles.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace quirvel::bench {
namespace {

namespace fs = std::filesystem;

void AppendLines(const fs::path& file, std::vector<std::string>& titles) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read titles file: " + file.string());
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) titles.push_back(line);
  }
}

std::vector<fs::path> TextFilesIn(const fs::path& folder) {
  std::vector<fs::path> files;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    if (entry.is_regular_file() && entry.path().extension() == ".txt") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

std::vector<std::string> LoadTitles(const std::string& path) {
  std::vector<std::string> titles;
  if (fs::is_directory(path)) {
    for (const fs::path& file : TextFilesIn(path)) AppendLines(file, titles);
  } else {
    AppendLines(path, titles);
  }
  if (titles.empty()) throw std::runtime_error("no titles in: " + path);
  return titles;
}

std::vector<std::string> BuiltInTitles() {
  return {
      "【現貨】無線藍牙耳機 降噪 運動防水 超長續航 台灣公司貨",
      "日本製 不鏽鋼保溫杯 500ml 真空雙層 辦公室 交換禮物",
      "韓版 寬鬆 純棉 短袖T恤 男女同款 情侶裝 S-XL",
      "ASUS 華碩 ZenBook 14 筆電 16G 512G SSD 灰色",
      "台南 手工 芒果乾 300g 無添加 夏季限定",
      "兒童 防滑 室內拖鞋 卡通 恐龍 造型 18-24cm",
      "LED 護眼 檯燈 三段調光 USB充電 宿舍 書桌",
      "iPhone 15 Pro 手機殼 透明 防摔 磁吸 MagSafe",
      "寵物 貓抓板 瓦楞紙 大型 貓窩 兩用 耐抓",
      "高山烏龍茶 梨山 茶葉 150g 真空包裝 禮盒",
      "北歐風 實木 餐桌椅 組合 一桌四椅 可拆裝",
      "Dyson 吸塵器 替換 濾網 V8 V10 副廠 耗材",
      "嬰兒 紗布巾 六層 純棉 洗澡巾 口水巾 5入",
      "登山 後背包 40L 防潑水 透氣 背負系統 男女",
      "電動牙刷 音波 震動 五種模式 IPX7 附刷頭2支",
      "花蓮 有機 黑米 1kg 產地直送 當季新米",
      "復古 圓框 眼鏡 抗藍光 平光 男女 多色可選",
      "SAMSUNG 三星 Galaxy Tab S9 平板 保護貼 鋼化玻璃",
      "手沖咖啡 濾杯 陶瓷 1-2人份 附濾紙 40張",
      "瑜珈墊 加厚 10mm 防滑 NBR 附收納帶 183x61cm",
      "迷你 除濕機 小型 衣櫃 浴室 靜音 自動斷電",
      "客製化 刻字 鋼筆 畢業禮物 金屬 筆身 禮盒裝",
      "機車 安全帽 3/4罩 半罩 輕量 透氣 內襯可拆",
      "氣炸鍋 5.5L 大容量 觸控面板 不沾塗層 免油",
  };
}

}  // namespace quirvel::bench
