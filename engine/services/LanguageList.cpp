#include "engine/services/LanguageList.h"

#include <cstddef>
#include <mutex>

namespace ULanguageList {

namespace {

struct Language {
    const char* name;
    const char* code;
};

// English name and ISO 639-1 code. Names are unique; "az" occurs twice.
constexpr Language kLanguages[] = {
    {"Abkhaz", "ab"},
    {"Afar", "aa"},
    {"Afrikaans", "af"},
    {"Akan", "ak"},
    {"Albanian", "sq"},
    {"Amharic", "am"},
    {"Arabic", "ar"},
    {"Aragonese", "an"},
    {"Armenian", "hy"},
    {"Assamese", "as"},
    {"Avaric", "av"},
    {"Avestan", "ae"},
    {"Aymara", "ay"},
    {"Azerbaijani", "az"},
    {"Bambara", "bm"},
    {"Bashkir", "ba"},
    {"Basque", "eu"},
    {"Belarusian", "be"},
    {"Bengali", "bn"},
    {"Bihari", "bh"},
    {"Bislama", "bi"},
    {"Bosnian", "bs"},
    {"Breton", "br"},
    {"Bulgarian", "bg"},
    {"Burmese", "my"},
    {"Catalan", "ca"},
    {"Chamorro", "ch"},
    {"Chechen", "ce"},
    {"Chichewa", "ny"},
    {"Chinese", "zh"},
    {"Chuvash", "cv"},
    {"Cornish", "kw"},
    {"Corsican", "co"},
    {"Cree", "cr"},
    {"Croatian", "hr"},
    {"Czech", "cs"},
    {"Danish", "da"},
    {"Divehi", "dv"},
    {"Dutch", "nl"},
    {"Dzongkha", "dz"},
    {"English", "en"},
    {"Esperanto", "eo"},
    {"Estonian", "et"},
    {"Ewe", "ee"},
    {"Faroese", "fo"},
    {"Fijian", "fj"},
    {"Finnish", "fi"},
    {"French", "fr"},
    {"Fula", "ff"},
    {"Galician", "gl"},
    {"Georgian", "ka"},
    {"German", "de"},
    {"Greek", "el"},
    {"Guaraní", "gn"},
    {"Gujarati", "gu"},
    {"Haitian", "ht"},
    {"Hausa", "ha"},
    {"Hebrew (modern)", "he"},
    {"Herero", "hz"},
    {"Hindi", "hi"},
    {"Hiri Motu", "ho"},
    {"Hungarian", "hu"},
    {"Interlingua", "ia"},
    {"Indonesian", "id"},
    {"Interlingue", "ie"},
    {"Irish", "ga"},
    {"Igbo", "ig"},
    {"Inupiaq", "ik"},
    {"Ido", "io"},
    {"Icelandic", "is"},
    {"Italian", "it"},
    {"Inuktitut", "iu"},
    {"Japanese", "ja"},
    {"Javanese", "jv"},
    {"Kalaallisut", "kl"},
    {"Kannada", "kn"},
    {"Kanuri", "kr"},
    {"Kashmiri", "ks"},
    {"Kazakh", "kk"},
    {"Khmer", "km"},
    {"Kikuyu, Gikuyu", "ki"},
    {"Kinyarwanda", "rw"},
    {"Kyrgyz", "ky"},
    {"Komi", "kv"},
    {"Kongo", "kg"},
    {"Korean", "ko"},
    {"Kurdish", "ku"},
    {"Kwanyama", "kj"},
    {"Latin", "la"},
    {"Luxembourgish", "lb"},
    {"Ganda", "lg"},
    {"Limburgish", "li"},
    {"Lingala", "ln"},
    {"Lao", "lo"},
    {"Lithuanian", "lt"},
    {"Luba-Katanga", "lu"},
    {"Latvian", "lv"},
    {"Manx", "gv"},
    {"Macedonian", "mk"},
    {"Malagasy", "mg"},
    {"Malay", "ms"},
    {"Malayalam", "ml"},
    {"Maltese", "mt"},
    {"Maori", "mi"},
    {"Marathi", "mr"},
    {"Marshallese", "mh"},
    {"Mongolian", "mn"},
    {"Nauru", "na"},
    {"Navajo, Navaho", "nv"},
    {"Norwegian Bokmål", "nb"},
    {"North Ndebele", "nd"},
    {"Nepali", "ne"},
    {"Ndonga", "ng"},
    {"Norwegian Nynorsk", "nn"},
    {"Norwegian", "no"},
    {"Nuosu", "ii"},
    {"South Ndebele", "nr"},
    {"Occitan", "oc"},
    {"Ojibwe", "oj"},
    {"Old Church Slavonic", "cu"},
    {"Oromo", "om"},
    {"Oriya", "or"},
    {"Ossetian", "os"},
    {"Panjabi, Punjabi", "pa"},
    {"Pali", "pi"},
    {"Persian (Farsi)", "fa"},
    {"Polish", "pl"},
    {"Pashto", "ps"},
    {"Portuguese", "pt"},
    {"Quechua", "qu"},
    {"Romansh", "rm"},
    {"Kirundi", "rn"},
    {"Romanian", "ro"},
    {"Russian", "ru"},
    {"Sanskrit", "sa"},
    {"Sardinian", "sc"},
    {"Sindhi", "sd"},
    {"Northern Sami", "se"},
    {"Samoan", "sm"},
    {"Sango", "sg"},
    {"Serbian", "sr"},
    {"Scottish Gaelic", "gd"},
    {"Shona", "sn"},
    {"Sinhala", "si"},
    {"Slovak", "sk"},
    {"Slovene", "sl"},
    {"Somali", "so"},
    {"Southern Sotho", "st"},
    {"South Azerbaijani", "az"},
    {"Spanish", "es"},
    {"Sundanese", "su"},
    {"Swahili", "sw"},
    {"Swati", "ss"},
    {"Swedish", "sv"},
    {"Tamil", "ta"},
    {"Telugu", "te"},
    {"Tajik", "tg"},
    {"Thai", "th"},
    {"Tigrinya", "ti"},
    {"Tibetan Standard", "bo"},
    {"Turkmen", "tk"},
    {"Tagalog", "tl"},
    {"Tswana", "tn"},
    {"Tonga (Tonga Islands)", "to"},
    {"Turkish", "tr"},
    {"Tsonga", "ts"},
    {"Tatar", "tt"},
    {"Twi", "tw"},
    {"Tahitian", "ty"},
    {"Uyghur", "ug"},
    {"Ukrainian", "uk"},
    {"Urdu", "ur"},
    {"Uzbek", "uz"},
    {"Venda", "ve"},
    {"Vietnamese", "vi"},
    {"Volapük", "vo"},
    {"Walloon", "wa"},
    {"Welsh", "cy"},
    {"Wolof", "wo"},
    {"Western Frisian", "fy"},
    {"Xhosa", "xh"},
    {"Yiddish", "yi"},
    {"Yoruba", "yo"},
    {"Zhuang", "za"},
    {"Zulu", "zu"},
};

constexpr std::size_t kLanguageCount = sizeof(kLanguages) / sizeof(kLanguages[0]);
static_assert(kLanguageCount == 185);

struct Maps {
    std::map<std::string, std::string> codeByName;
    std::map<std::string, std::string> nameByCode;
};

const Maps& GetMaps() {
    static std::once_flag once;
    static Maps maps;
    std::call_once(once, [] {
        for (const Language& language : kLanguages) maps.codeByName.emplace(language.name, language.code);
        // Ascending name order; a later name replaces an earlier one of the
        // same code, so "az" ends as "South Azerbaijani".
        for (const auto& [name, code] : maps.codeByName) maps.nameByCode[code] = name;
    });
    return maps;
}

}  // namespace

std::string GetLanguageName(const std::string& code) {
    const auto& names = GetMaps().nameByCode;
    const auto found = names.find(code);
    return found != names.end() ? found->second : std::string("???");
}

const std::map<std::string, std::string>& GetLanguageTable() { return GetMaps().codeByName; }

}  // namespace ULanguageList
