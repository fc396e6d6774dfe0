#include "CFavouriteFile.h"
#include "ManageFixture.h"
#include "QtPrinters.h"

#include <QFile>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

using Favourites = ManageFixture;

struct Settings {
    E_TIMBRE main;
    E_TIMBRE dual;
    E_BEAT beat;
    unsigned int tempo;
    E_REVERB reverb;
    E_BRILLIANCE brilliance;
    E_TOUCHSENSE touch;
    E_TRANSPOSE transpose;
    E_SEQKEY key;
    E_TUNING tuning;
    E_METROCHARTYPE character;
    E_COMPRESS_TYPE compress;
    FROSTED_STYLE style;
    bool operator==(const Settings&) const = default;
};

Settings Read(CManage& m) {
    return {m.GetDefTimbre(),   m.GetDualTimbre(), m.GetBeat(),          m.GetTempo(),
            m.GetReverbOffOn(), m.GetBrilliance(), m.GetTouchSense(),    m.GetTranspose(),
            m.GetSeqKey(),      m.GetTuning(),     m.GetMetroCharType(), m.GetCompressType(),
            m.GetFrostedStyle()};
}

void Apply(CManage& m, const Settings& s) {
    m.SetDefTimbre(s.main, nullptr);
    m.SetDualTimbre(s.dual, nullptr);
    m.SetBeat(s.beat, nullptr);
    m.SetTempo(s.tempo, nullptr);
    m.SetReverbOffOn(s.reverb, nullptr);
    m.SetBrilliance(s.brilliance, nullptr);
    m.SetTouchSense(s.touch, nullptr);
    m.SetTranspose(s.transpose, nullptr);
    m.SetSeqKey(s.key, nullptr);
    m.SetTuning(s.tuning, nullptr);
    m.SetMetroCharType(s.character, nullptr);
    m.SetCompressType(s.compress, nullptr);
    m.SetFrostedStyle(s.style);
}

// Every setting away from its default.
const Settings kChanged{
    TIM_VIBRATION, TIM_STRINGS,  BEAT_6_8,       96,        REVERB_OFF,
    BRILL_BRITE,   TOUCH_HEAVY,  TRANSPOSE_GS,   SEQKEY_CS, static_cast<E_TUNING>(77),
    MET_CHAR_3,    COMPRESS_MP3, FROSTED_STYLE_2};
// What an empty favourite gives.
const Settings kDefaults{TIM_GRANDPIANO,
                         TIM_NONE,
                         BEAT_4_4,
                         120,
                         REVERB_ON,
                         BRILL_NORMAL,
                         TOUCH_NORMAL,
                         TRANSPOSE_C,
                         SEQKEY_C,
                         TUNING_STANDARD,
                         MET_CHAR_1,
                         COMPRESS_WMA,
                         FROSTED_STYLE_DEFAULT};

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST_F(Favourites, ASavedFavouriteRestoresAllThirteenSettings) {
    Apply(*manage, kChanged);
    Settings saved = Read(*manage);
    ASSERT_EQ(saved, kChanged);
    ASSERT_TRUE(CFavouriteFile::Save(*manage, CFavouriteFile::kFavourite1, true));
    const QByteArray image = ReadFile(CFavouriteFile::Path(CFavouriteFile::kFavourite1));
    ASSERT_EQ(image.size(), 64);
    EXPECT_EQ(image.left(8), QByteArray::fromHex("FCA9F1D24D62503F"));
    EXPECT_EQ(image.mid(60), QByteArray(4, '\0'));

    Apply(*manage, kDefaults);
    ASSERT_EQ(Read(*manage), kDefaults);
    ASSERT_TRUE(CFavouriteFile::Exists(CFavouriteFile::kFavourite1));
    ASSERT_TRUE(CFavouriteFile::Load(*manage, CFavouriteFile::kFavourite1, true));
    EXPECT_EQ(Read(*manage), kChanged);
    EXPECT_TRUE(fusion.texts.isEmpty()) << fusion.texts.join(QLatin1Char('|')).toStdString();
    // The piano follows: vibraphone with strings.
    EXPECT_TRUE(Eventually([&] { return piano->GetPanel().program == 11; }));
    EXPECT_TRUE(Eventually([&] { return piano->GetPanel().dual == 48; }));
}

TEST_F(Favourites, AShortFileFillsWhatIsMissingWithTheDefaults) {
    Apply(*manage, kChanged);
    ASSERT_TRUE(CFavouriteFile::Save(*manage, CFavouriteFile::kFavourite2, false));
    const QString path = CFavouriteFile::Path(CFavouriteFile::kFavourite2);
    const QByteArray full = ReadFile(path);
    ASSERT_EQ(full.size(), 64);

    // The empty file: exactly the defaults (the plain default tempo gives 120).
    WriteFile(path, QByteArray());
    ASSERT_TRUE(CFavouriteFile::Load(*manage, CFavouriteFile::kFavourite2, true));
    EXPECT_EQ(Read(*manage), kDefaults);

    // Any shorter file: the fields it holds whole come from it, the rest are defaults.
    for (int length = 8; length < 64; length += 4) {
        SCOPED_TRACE(length);
        Apply(*manage, kChanged);
        WriteFile(path, full.left(length));
        fusion.texts.clear();
        ASSERT_TRUE(CFavouriteFile::Load(*manage, CFavouriteFile::kFavourite2, true));
        EXPECT_TRUE(fusion.texts.isEmpty());
        const Settings got = Read(*manage);
        const int fields = (length - 8) / 4;
        EXPECT_EQ(got.main, fields > 0 ? kChanged.main : kDefaults.main);
        EXPECT_EQ(got.beat, fields > 2 ? kChanged.beat : kDefaults.beat);
        EXPECT_EQ(got.tempo, fields > 3 ? kChanged.tempo : kDefaults.tempo);
        EXPECT_EQ(got.tuning, fields > 9 ? kChanged.tuning : kDefaults.tuning);
        EXPECT_EQ(got.style, fields > 12 ? kChanged.style : kDefaults.style);
    }
}

TEST_F(Favourites, ForeignVersionsAreRefusedAndNothingIsApplied) {
    Apply(*manage, kChanged);
    const auto tryVersion = [&](double version) {
        VESK_DATA data;
        data.version = version;
        data.mainVoice = 0;
        fusion.texts.clear();
        WriteFile(CFavouriteFile::Path(CFavouriteFile::kFavourite3), data.ToBytes());
        EXPECT_TRUE(CFavouriteFile::Load(*manage, CFavouriteFile::kFavourite3, true));
        EXPECT_EQ(Read(*manage), kChanged);
        return fusion.texts;
    };
    EXPECT_EQ(tryVersion(0.002), QStringList{QStringLiteral("予期せぬエラーが発生しました。(20)")});
    EXPECT_EQ(tryVersion(0.0005),
              QStringList{QStringLiteral("予期せぬエラーが発生しました。(19)")});
    EXPECT_EQ(tryVersion(std::numeric_limits<double>::quiet_NaN()),
              QStringList{QStringLiteral("予期せぬエラーが発生しました。(19)")});
    VESK_DATA nan;
    nan.version = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(manage->LoadVeskFile(&nan).GetCode(), ERR_VESK_REFUSED);
}

TEST_F(Favourites, WhileAFilePlaysTheTimeSignatureIsKeptAndTheRestApplies) {
    Apply(*manage, kChanged);
    ASSERT_TRUE(CFavouriteFile::Save(*manage, CFavouriteFile::kFavourite1, false));
    Apply(*manage, kDefaults);
    ASSERT_EQ(manage->SetSeqFileName(song), 1);
    piano->ClearReceived();
    ASSERT_EQ(manage->SeqPlay(), 0);
    ASSERT_TRUE(Eventually([&] { return !piano->SoundingNotes().empty(); }));
    fusion.texts.clear();
    ASSERT_TRUE(CFavouriteFile::Load(*manage, CFavouriteFile::kFavourite1, true));
    Settings expected = kChanged;
    expected.beat = kDefaults.beat;
    // The voices are left out: the player mirrors what the stream plays back into the model,
    // and which voice wins depends on when the stream reports (see docs/favourites.md).
    Settings got = Read(*manage);
    got.main = expected.main;
    got.dual = expected.dual;
    EXPECT_EQ(got, expected);
    EXPECT_EQ(fusion.texts, QStringList{QStringLiteral("現在このパラメータは変更できません。")});
}

TEST_F(Favourites, AFavouriteWithoutDualVoiceTurnsDualOffOnThePiano) {
    manage->SetDualTimbre(TIM_STRINGS, nullptr);
    ASSERT_TRUE(Eventually([&] { return piano->GetPanel().dual != 255; }));
    VESK_DATA data;
    data.tempo = 0x20A107;
    ASSERT_EQ(manage->LoadVeskFile(&data), 0);
    EXPECT_EQ(manage->GetDualTimbre(), TIM_NONE);
    EXPECT_TRUE(Eventually([&] { return piano->GetPanel().dual == 255; }));
}

TEST_F(Favourites, MissingAndUnwritableFilesAreReportedOnlyWhenAsked) {
    EXPECT_FALSE(CFavouriteFile::Exists(QStringLiteral("setting_9")));
    EXPECT_FALSE(CFavouriteFile::Load(*manage, QStringLiteral("setting_9"), false));
    EXPECT_TRUE(fusion.texts.isEmpty());
    EXPECT_FALSE(CFavouriteFile::Load(*manage, QStringLiteral("setting_9"), true));
    EXPECT_EQ(fusion.texts, QStringList{QStringLiteral("予期せぬエラーが発生しました。(23)")});
    fusion.texts.clear();
    EXPECT_FALSE(CFavouriteFile::Save(*manage, QStringLiteral("no-such-folder/setting"), true));
    EXPECT_EQ(fusion.texts, QStringList{QStringLiteral("予期せぬエラーが発生しました。(22)")});
}

TEST_F(Favourites, SavingAgainReplacesTheWholeFile) {
    const QString path = CFavouriteFile::Path(CFavouriteFile::kLastExit);
    WriteFile(path, QByteArray(200, 'x'));
    ASSERT_TRUE(CFavouriteFile::Save(*manage, CFavouriteFile::kLastExit, false));
    EXPECT_EQ(ReadFile(path).size(), 64);
}

} // namespace
