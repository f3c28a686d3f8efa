// Every format string the four programs hold parses, and writes its items.
#include <gtest/gtest.h>

#include "common/format.hpp"

namespace {
const char* const program_formats[] = {
    R"~((' frequency with biggest amplitude : ',I2))~",
    R"~(('CHARACTERISTICS OF THE OBSERVATIONS',/,/,7X,'number            : ',I6,/,7X,'observing time    from  ',F15.7,' until  ',F15.7,/,7X,'total time        : ',F15.7,'( =1/',F15.7,')',/,7X,'time intervals    from  ',F15.7,' until  ',F15.7,/,7X,'average           : ',F15.7,'(STD=',F15.7,')',/,7X,'observations      from  ',F15.7,' until  ',F15.7,/,7X,'range             : ',F15.7,/,7X,'average           : ',F15.7,/,7X,'variance          : ',F15.7,/,7X,'standard deviation: ',F15.7,/,/))~",
    R"~(('Table with the final results (Sf = ',F10.5,')'))~",
    R"~((11X,F15.5))~",
    R"~((11X,F7.4))~",
    R"~((12X,F20.8))~",
    R"~((17X,F13.8,14X,F15.5))~",
    R"~((18X,F15.5))~",
    R"~((1H1,'Kenmerken van de gegevens',/,/,7X,'AANTAL : ',I6,/,/,7X,'WAARNEMINGSTIJDEN   VAN  ',F13.5,'   TOT  ',F13.5,/,7X,'TOTALE TIJD        : ',F10.5,'( =1/',F10.5,')',/,/,7X,'TIJDSINTERVALLEN    VAN  ',F10.5,'   TOT  ',F10.5,/,7X,'GEMIDDELD          : ',F10.5,'(STD=',F10.5,')',/,/,7X,'WAARNEMINGEN        VAN  ',F10.5,'   TOT  ',F10.5,/,7X,'RANGE              : ',F10.5,/,7X,'GEMIDDELDE         : ',F10.5,/,7X,'VARIANTIE          : ',F10.5,/,7X,'STANDAARDAFWIJKING : ',F10.5,/,/))~",
    R"~((1X,'FREQ',I2,' = ',F11.8,'(',I2,') with ',I2,' harmonics'))~",
    R"~((1X,'Maximum: ',G15.9,' at frequency: ',G15.9,' P = ',G15.9))~",
    R"~((1X,'Minimum: ',G15.9,' at frequency: ',G15.9,' P = ',G15.9))~",
    R"~((1X,'constant : ',F15.5,9X,'(',F9.5,' ->',F9.5,')'))~",
    R"~((1X,'res. sum : ',F20.8))~",
    R"~((1X,A24,6X,I2))~",
    R"~((1X,F13.7,15F13.5))~",
    R"~((1X,F20.8,1X,F20.8))~",
    R"~((1x,a20))~",
    R"~((25X,I3))~",
    R"~((27X,I6))~",
    R"~((36X,I2))~",
    R"~((4X,' cosine  * ',3X,F15.5,4X,'(',F9.5,' ->',F9.5,')'))~",
    R"~((4X,' sine    * ',3X,F15.5,4X,'(',F9.5,' ->',F9.5,')'))~",
    R"~((4X,'FRACVAR : ',F7.4,5X,'file : ',A40))~",
    R"~((4X,'frequency ->  ',F12.8,2X,'amplitude:  ',F15.5,3X,'s.e.:',F10.4))~",
    R"~((4X,'frequency ->  ',F12.8,2X,'phase(in 2pi rad): ',F8.5,3X,'s.e.:',F10.4))~",
    R"~((A12,2F12.5))~",
    R"~((A12,F10.7,A4))~",
    R"~((A12,F12.5))~",
    R"~((A23,F10.5,A11,F15.10))~",
    R"~((A29,3F10.5))~",
    R"~((A29,I10,A10,I10))~",
    R"~((A3,3X,A3,1X,A3,A11,2X,4A8,2X,2A10))~",
    R"~((F13.7,1X,F15.5,1X,F10.5,1X,F10.5,1X,F14.4,1X,F14.4))~",
    R"~((F7.5))~",
    R"~((F8.5))~",
    R"~((I3,3X,I3,1X,I3,F11.5,2X,4F8.3,2X,2F10.5))~",
    R"~((a10,f7.4))~",
    R"~((a11,f7.4))~",
    R"~((a16))~",
    R"~((a17))~",
    R"~((a70))~",
    R"~((a8,i2,a2))~",
    R"~((f5.2))~",
    R"~((i4,1x,f12.8,2x,a60))~",
};
}  // namespace

TEST(ProgramFormats, AllParseWithDataItems)
{
    int count = 0;
    for (const char* f : program_formats) {
        common::Format parsed;
        ASSERT_NO_THROW(parsed = common::parse_format(f)) << f;
        EXPECT_TRUE(parsed.has_data) << f;
        ++count;
    }
    EXPECT_EQ(count, 45);
}
