#include "ParamsTexts.h"

#include "DateTime.h"
#include "TextFormat.h"

#include <algorithm>

std::string FormatMinutes(uint32_t minutes) {
    return FormatText("%02u:%02u", minutes / 60, minutes % 60);
}

std::string FormatFlagList(uint8_t flags) {
    std::string text;
    for (int bit = 0; bit < 4; ++bit) {
        if (flags & (1 << bit)) {
            if (!text.empty()) {
                text += '\n';
            }
            text += FormatText("%d. %s", bit + 1, kNSFlagNames[bit]);
        }
    }
    return text;
}

CurrentParamsTexts FormatCurrentParams(const CurrentParamsStruct& p) {
    CurrentParamsTexts t;
    t.G = FormatText("%05.4f", static_cast<double>(p.G));
    t.Vd = FormatText("%013.3f", p.Vd);
    t.Vr = FormatText("%013.3f", p.Vr);
    t.Twork = FormatMinutes(p.Twork);
    t.Ton = FormatMinutes(p.Ton);
    t.Serial = FormatText("%09u", p.Serial);
    t.Du = p.DuIndex < kDuCount ? std::to_string(kDuValues[p.DuIndex]) : std::string();
    t.ImpulseWeight = FormatText("%g", static_cast<double>(p.ImpulseWeight));
    t.ImpulseLength = FormatText("%g", static_cast<double>(p.ImpulseLength));
    t.Gmin = FormatText("%g", static_cast<double>(p.Gmin));
    t.Gmax = FormatText("%g", static_cast<double>(p.Gmax));
    t.CurrentValue = FormatText("%.3f", p.CurrentCode * 0.001);
    return t;
}

SetupParamsStruct SetupPageValues(const SetupParamsStruct& params) {
    SetupParamsStruct v;
    v.Date = params.Date;
    v.Time = params.Time;
    v.NetAddress = std::clamp<uint8_t>(params.NetAddress, 1, 254);
    v.CalibrationCode = std::min<uint16_t>(params.CalibrationCode, 16383);
    v.TestCode = std::min<uint16_t>(params.TestCode, 16383);
    v.TestMode = params.TestMode != 0 ? 1 : 0;
    v.ClearArchive = 0;
    return v;
}

std::vector<std::pair<std::string, std::string>> CurrentParamsRows(
    const CurrentParamsStruct& params) {
    const CurrentParamsTexts t = FormatCurrentParams(params);
    return {{"Расход", t.G},
            {"V+", t.Vd},
            {"V-", t.Vr},
            {"Tраб", t.Twork},
            {"Tвкл", t.Ton},
            {"НС", FormatFlagList(params.NSFlags)},
            {"Заводской номер", t.Serial},
            {"Ду", t.Du},
            {"Вес импульса", t.ImpulseWeight},
            {"Длительность импульса", t.ImpulseLength},
            {"g_пор", t.Gmin},
            {"g_макс", t.Gmax},
            {"Значение тока", t.CurrentValue}};
}

std::vector<std::pair<std::string, std::string>> SetupParamsRows(const SetupParamsStruct& params) {
    return {{"Время", FormatDateTime("hh:nn:ss", params.Time)},
            {"Дата", FormatDateTime("dd/mm/yyyy", params.Date)},
            {"Сетевой адрес", std::to_string(params.NetAddress)},
            {"Код 20 мА", std::to_string(params.CalibrationCode)},
            {"Тестовый код", std::to_string(params.TestCode)},
            {"Тестовый режим", std::to_string(params.TestMode)}};
}
