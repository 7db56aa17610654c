// The ladder read as the library reads it, and every text that would run another ladder than the
// one the trader typed stopped with the reason.
#include "host/ladder.h"

#include <gtest/gtest.h>

namespace zt::sim {
namespace {

TargetTexts Texts(const std::string& takeProfits, const std::string& drawdownTargets = "40,80",
                  const std::string& increaseTargets = "", const std::string& stopLosses = "150") {
  return {takeProfits, drawdownTargets, increaseTargets, stopLosses};
}

TEST(Ladder, ReadsSetsAndListsAsTheLibraryDoes) {
  EXPECT_EQ(ReadSets("50,30;80, 60"), (AmountSets{{50, 30}, {80, 60}}));
  EXPECT_EQ(ReadSets("50 ;60"), (AmountSets{{50, 60}}));  // ';' after a separator: same set
  EXPECT_EQ(ReadSets("1e2"), (AmountSets{{1, 2}}));
  EXPECT_EQ(ReadSets("1.2.3"), (AmountSets{{1.2}}));
  EXPECT_EQ(ReadList("0, 500; 1000.5"), (std::vector<double>{0, 500, 1000.5}));
  EXPECT_EQ(FormatSets(ReadSets("60,45;90")), "60,45 | 90");
  EXPECT_EQ(FormatList({}), "none");
}

TEST(Ladder, TextsThatMeanWhatTheySayPass) {
  EXPECT_EQ(FindLadderMistake(Texts("60,45,30;90,60", "40,80,120;60", "10250 10500", "150;200")),
            "");
  EXPECT_EQ(FindLadderMistake(Texts("60", "", "", "150")), "");  // no drawdown or increase targets
}

TEST(Ladder, EachMistakeNamesTheOptionTheTextAndTheLibrarysReading) {
  const std::pair<TargetTexts, std::string> cases[] = {
      {Texts(""),
       "--take-profits \"\": no amount; the library would read nothing and take a take profit of "
       "0"},
      {Texts("abc"), "--take-profits \"abc\": no amount in it;"},
      {Texts("0"), "--take-profits \"0\": an amount of 0"},
      {Texts("1e2"),
       "--take-profits \"1e2\": \"1e2\" is not a plain amount (any character but a digit or \".\" "
       "separates amounts); the library would read the sets 1,2"},
      {Texts("-50"), "\"-50\" is not a plain amount"},
      {Texts("1.2.3"), "\"1.2.3\" is not a plain amount"},
      {Texts("1;2;3;4;5;6;7;8;9"),
       "9 sets, of which the library keeps 8; the library would read the sets 1 | 2 | 3 | 4 | 5 | "
       "6 | 7 | 8"},
      {Texts(std::string(33 * 3, ' ').replace(0, 2, "1,") +
             std::string("1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1")),
       "33 amounts in a set, of which the library keeps 32"},
      {Texts("50 ;60"),
       "a ';' after a separator does not open a set; the library would read the sets 50,60"},
      {Texts("60", "x"),
       "--drawdown-targets \"x\": no amount in it; the library would read nothing"},
      {Texts("60", "40", "1,2,3,4,5,6,7,8,9"),
       "--increase-targets \"1,2,3,4,5,6,7,8,9\": 9 amounts, of which the library keeps 8; the "
       "library would read 1,2,3,4,5,6,7,8"},
      {Texts("60", "40", "", ""),
       "--stop-losses \"\": no amount; the library would read nothing and take a stop loss"},
      {Texts("60", "40", "", "0,150"), "--stop-losses \"0,150\": an amount of 0"},
  };
  for (const auto& [texts, expected] : cases) {
    const std::string mistake = FindLadderMistake(texts);
    EXPECT_NE(mistake.find(expected), std::string::npos)
        << "got: " << mistake << "\nwanted: " << expected;
  }
}

}  // namespace
}  // namespace zt::sim
