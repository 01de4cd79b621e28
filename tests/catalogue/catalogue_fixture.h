// A small Dbase and a set of installed liveries that reach every rung of the
// matcher's ladder, built into the catalogue the way a start-up builds it.
#pragma once

#include "catalogue/catalogue.h"
#include "catalogue/dbase.h"
#include "catalogue/liveries_xml.h"
#include "catalogue/livery.h"
#include "catalogue_test_support.h"

#include <string>
#include <vector>

inline const char* const kFixtureDbase = R"(<?xml version="1.0"?>
<root>
  <aircrafts><aircraft types="B738,A320,A321,B77L,B77W,A388,B744,C172,C182,PA28,E190,C560,EC35,F18"/></aircrafts>
  <high_performance><hpf types="F18"/></high_performance>
  <heavy><hvy types="B77L,B77W,A388,B744,A320X"/></heavy>
  <large><lar types="B738,A320,A321,E190,A320X"/></large>
  <buzjet><bzj types="C560"/></buzjet>
  <rotorcraft><rot types="EC35"/></rotorcraft>
  <cargo_types><cargo_type types="B77L"/></cargo_types>
  <similar_types>
    <similar types="B738,A321,A320"/>
    <similar types="PA28,C182,C172"/>
    <similar types="B77W,A388,B744,C560"/>
  </similar_types>
  <ICAO_airlines><ICAO codes="KLM,DLH,FDX,BAW,EJA,SPC"/></ICAO_airlines>
  <cargo_operators><ICAO codes="FDX"/></cargo_operators>
  <publishers><pub names="ORBX,FTX"/><pub names="Aerosoft"/><pub names="ORBX,FTX"/></publishers>
  <wingspans>
    <wingspan type="B738" meters="35.8"/>
    <wingspan type="B738" meters="60"/>
    <wingspan type="A320" meters="35.8"/>
    <wingspan type="B77W" meters="64.8"/>
    <wingspan type="C172" meters="11"/>
    <wingspan type="C560" meters="15.9"/>
    <wingspan type="EC35" meters="10.2"/>
    <wingspan type="XXXX" meters="99"/>
  </wingspans>
  <fixes><fx wro="B737-800" cor="B738"/><fx wro="B737-800" cor="A320"/><fx wro="Q" cor="ZZZZ"/></fixes>
  <simaddonsP3D><simaddonP3D arpts="EHAM, EDDF"/></simaddonsP3D>
  <thirdpartiesP3D><thirdpartieP3D pub="ORBX" arpts="YBBN,YSSY"/></thirdpartiesP3D>
  <dbase>
    <db reg="PH-BXA" airl="KLM" type="B738" opr="KLM"/>
    <db reg="D-AIZA" airl="DLH" type="A320" opr="Lufthansa"/>
    <db reg="N850FD" airl="FDX" type="B77L" cargo="yes"/>
    <db reg="G-EUPT" airl="BAW" type="A320" opr="BA" cargo="no"/>
    <db reg="PH-BXA" airl="XXX" type="A320"/>
    <db reg="EI-ABC" airl="" type="A320" opr="Someone"/>
    <db airl="KLM" type="B738"/>
    <db reg="AB1" airl="KLM" type="C172"/>
  </dbase>
</root>
)";

struct FixtureLivery {
    const char* airl;
    const char* type;
    const char* title;
    const char* atcid;
    bool cargo;
};

inline const FixtureLivery kFixtureLiveries[] = {
    {"KLM", "B738", "KLM B738 a", "", false},
    {"KLM", "B738", "KLM B738 PH-BXA", "PH-BXA", false},
    {"KLM", "B738", "KLM B738 special", "", false},
    {"KLM", "E190", "FSLTL_KLM E190", "", false},
    {"DLH", "A320", "DLH A320", "", false},
    {"DLH", "A321", "DLH A321", "", false},
    {"FDX", "B77L", "FDX 77L F", "N850FD", true},
    {"FDX", "B77L", "FDX 77L pax", "", false},
    {"BAW", "A321", "BA A321", "", false},
    {"BAW", "B744", "BA B744", "", false},
    {"EJA", "C560", "EJA C560", "", false},
    {"SPC", "A320", "SPC A320 special", "", false},
    {"ZZZ", "C172", "Generic C172", "", false},
    {"ZZZ", "B738", "Generic B738", "", false},
    {"AAA", "C182", "AAA C182", "", false},
    {"AMB", "EC35", "AMB EC35", "", false},
};

// The user's regcodes: one sole special registration, one special title that
// is then reserved for its registration.
inline const char* const kFixtureMyRegcodes = "KLM B738 special;PH-BXB\nSPC A320 special;SP-ABC\n";

class CatalogueFixtureTest : public CatalogueTest {
protected:
    void readFixtureDbase() {
        writeFile("fixture_dbase.xml", kFixtureDbase);
        ASSERT_TRUE(gf_readDbaseXml("fixture_dbase.xml"));
    }
    static void writeFixtureLiveries() {
        g_liveryScanList.clear();
        for (const FixtureLivery& l : kFixtureLiveries) {
            g_liveryScanList.emplace_back(l.airl, l.type, l.title, l.atcid, 1u, l.cargo);
        }
        g_liveryScanList.sort();
        ASSERT_TRUE(lf_writeLiveriesXml());
        g_liveryScanList.clear();
    }
    void buildFixtureCatalogue() {
        readFixtureDbase();
        writeFixtureLiveries();
        writeFile("input/my_regcodes/mine.txt", kFixtureMyRegcodes);
        gf_processScannedLiveries();
    }
};
