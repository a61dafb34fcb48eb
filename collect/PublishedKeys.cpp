#include "collect/PublishedKeys.h"

#include <iterator>

namespace taloveric {
namespace {

// The edition default keys that Windows 10 and 11 setup installs when it is
// given none, and that a digital licence leaves in the registry.
constexpr char kSetupDefault[] = "Windows 10/11 setup's default key for the edition";
// Microsoft's "Key Management Services (KMS) client activation and product
// keys" (windowsserverdocs, get-started/kms-client-activation-keys.md): the
// Generic Volume License Keys, which activate only against an organisation's
// KMS host.
constexpr char kKms[] = "Microsoft's KMS client activation and product keys (GVLK)";

constexpr PublishedKey kPublished[] = {
    {"VK7JG-NPHTM-C97JM-9MPGT-3V66T", "Windows 10/11 Pro", kSetupDefault},
    {"YTMG3-N6DKC-DKB77-7M9GH-8HVX7", "Windows 10/11 Home", kSetupDefault},
    {"W269N-WFGWX-YVC9B-4J6C9-T83GX", "Windows 10/11 Pro", kKms},
    {"MH37W-N47XK-V7XM9-C7227-GCQG9", "Windows 10/11 Pro N", kKms},
    {"NRG8B-VKK3Q-CXVCJ-9G2XF-6Q84J", "Windows 10/11 Pro for Workstations", kKms},
    {"9FNHH-K3HBT-3W4TD-6383H-6XYWF", "Windows 10/11 Pro for Workstations N", kKms},
    {"6TP4R-GNPTD-KYYHQ-7B7DP-J447Y", "Windows 10/11 Pro Education", kKms},
    {"YVWGF-BXNMC-HTQYQ-CPQ99-66QFC", "Windows 10/11 Pro Education N", kKms},
    {"NW6C2-QMPVW-D7KKK-3GKT6-VCFB2", "Windows 10/11 Education", kKms},
    {"2WH4N-8QGBV-H22JP-CT43Q-MDWWJ", "Windows 10/11 Education N", kKms},
    {"NPPR9-FWDCX-D2C8J-H872K-2YT43", "Windows 10/11 Enterprise", kKms},
    {"DPH2V-TTNVB-4X9Q3-TJR4H-KHJW4", "Windows 10/11 Enterprise N", kKms},
    {"YYVX9-NTFWV-6MDM3-9PT4T-4M68B", "Windows 10/11 Enterprise G", kKms},
    {"44RPN-FTY23-9VTTB-MP9BX-T84FV", "Windows 10/11 Enterprise G N", kKms},
    {"M7XTQ-FN8P6-TTKYV-9D4CC-J462D", "Windows 10 Enterprise LTSC 2019/2021, Windows 11 Enterprise LTSC 2024", kKms},
    {"92NFX-8DJQP-P6BBQ-THF9C-7CG2H", "Windows 10 Enterprise N LTSC 2019/2021, Windows 11 Enterprise N LTSC 2024",
     kKms},
    {"KBN8V-HFGQ4-MGXVD-347P6-PDQGT", "Windows IoT Enterprise LTSC 2021/2024", kKms},
    {"DCPHK-NFMTC-H88MJ-PFHPY-QJ4BJ", "Windows 10 Enterprise LTSB 2016", kKms},
    {"QFFDN-GRT3P-VKWWX-X7T3R-8B639", "Windows 10 Enterprise N LTSB 2016", kKms},
    {"WNMTR-4C88C-JK8YV-HQ7T2-76DF9", "Windows 10 Enterprise LTSB 2015", kKms},
    {"2F77B-TNFGY-69QQF-B8YKP-D69TJ", "Windows 10 Enterprise N LTSB 2015", kKms},
    {"GCRJD-8NW9H-F2CDX-CCM8D-9D6T9", "Windows 8.1 Pro", kKms},
    {"HMCNV-VVBFX-7HMBH-CTY9B-B4FXY", "Windows 8.1 Pro N", kKms},
    {"MHF9N-XY6XB-WVXMC-BTDCT-MKKG7", "Windows 8.1 Enterprise", kKms},
    {"TT4HM-HN7YT-62K67-RGRQJ-JFFXW", "Windows 8.1 Enterprise N", kKms},
    {"NG4HW-VH26C-733KW-K6F98-J8CK4", "Windows 8 Pro", kKms},
    {"XCVCF-2NXM9-723PB-MHCB7-2RYQQ", "Windows 8 Pro N", kKms},
    {"32JNW-9KQ84-P47T8-D8GGY-CWCK7", "Windows 8 Enterprise", kKms},
    {"JMNMF-RHW7P-DMY6X-RF3DR-X2BQT", "Windows 8 Enterprise N", kKms},
    {"FJ82H-XT6CR-J8D7P-XQJJ2-GPDD4", "Windows 7 Professional", kKms},
    {"MRPKT-YTG23-K7D7T-X2JMM-QY7MG", "Windows 7 Professional N", kKms},
    {"W82YF-2Q76Y-63HXB-FGJG9-GF7QX", "Windows 7 Professional E", kKms},
    {"33PXH-7Y6KF-2VJC9-XBBR8-HVTHH", "Windows 7 Enterprise", kKms},
    {"YDRBP-3D83W-TY26F-D46B2-XCKRJ", "Windows 7 Enterprise N", kKms},
    {"C29WB-22CC8-VJ326-GHFJW-H9DH4", "Windows 7 Enterprise E", kKms},
    {"YFKBB-PQJJV-G996G-VWGXY-2V3X8", "Windows Vista Business", kKms},
    {"HMBQG-8H2RH-C77VX-27R82-VMQBT", "Windows Vista Business N", kKms},
    {"VKK3X-68KWM-X2YGT-QR4M6-4BWMV", "Windows Vista Enterprise", kKms},
    {"VTC42-BM838-43QHV-84HX6-XJXKV", "Windows Vista Enterprise N", kKms},
    {"TVRH6-WHNXV-R9WG3-9XRFY-MY832", "Windows Server 2025 Standard", kKms},
    {"D764K-2NDRG-47T6Q-P8T8W-YP6DF", "Windows Server 2025 Datacenter", kKms},
    {"XGN3F-F394H-FD2MY-PP6FD-8MCRC", "Windows Server 2025 Datacenter: Azure Edition", kKms},
    {"VDYBN-27WPP-V4HQT-9VMD4-VMK7H", "Windows Server 2022 Standard", kKms},
    {"WX4NM-KYWYW-QJJR4-XV3QB-6VM33", "Windows Server 2022 Datacenter", kKms},
    {"NTBV8-9K7Q8-V27C6-M2BTV-KHMXV", "Windows Server 2022 Datacenter: Azure Edition", kKms},
    {"N69G4-B89J2-4G8F4-WWYCC-J464C", "Windows Server 2019 Standard", kKms},
    {"WMDGN-G9PQG-XVVXX-R3X43-63DFG", "Windows Server 2019 Datacenter", kKms},
    {"WVDHN-86M7X-466P6-VHXV7-YY726", "Windows Server 2019 Essentials", kKms},
    {"WC2BQ-8NRM3-FDDYY-2BFGV-KHKQY", "Windows Server 2016 Standard", kKms},
    {"CB7KF-BWN84-R7R2Y-793K2-8XDDG", "Windows Server 2016 Datacenter", kKms},
    {"JCKRF-N37P4-C2D82-9YXRT-4M63B", "Windows Server 2016 Essentials", kKms},
    {"N2KJX-J94YW-TQVFB-DG9YT-724CC", "Windows Server Standard (Semi-Annual Channel)", kKms},
    {"6NMRW-2C8FM-D24W7-TQWMY-CWH2D", "Windows Server Datacenter (Semi-Annual Channel)", kKms},
    {"PTXN8-JFHJM-4WC78-MPCBR-9W4KR", "Windows Server Standard, version 1803", kKms},
    {"2HXDN-KRXHB-GPYC7-YCKFJ-7FVDG", "Windows Server Datacenter, version 1803", kKms},
    {"DPCNP-XQFKJ-BJF7R-FRC8D-GF6G4", "Windows Server Standard, version 1709", kKms},
    {"6Y6KB-N82V8-D8CQV-23MJW-BWTG6", "Windows Server Datacenter, version 1709", kKms},
    {"D2N9P-3P6X9-2R39C-7RTCD-MDVJX", "Windows Server 2012 R2 Standard", kKms},
    {"W3GGN-FT8W3-Y4M27-J84CP-Q3VJ9", "Windows Server 2012 R2 Datacenter", kKms},
    {"KNC87-3J2TX-XB4WP-VCPJV-M4FWM", "Windows Server 2012 R2 Essentials", kKms},
    {"XC9B7-NBPP2-83J2H-RHMBY-92BT4", "Windows Server 2012 Standard", kKms},
    {"HM7DN-YVMH3-46JC3-XYTG7-CYQJJ", "Windows Server 2012 MultiPoint Standard", kKms},
    {"XNH6W-2V9GX-RGJ4K-Y8X6F-QGJ2G", "Windows Server 2012 MultiPoint Premium", kKms},
    {"48HP8-DN98B-MYWDG-T2DCC-8W83P", "Windows Server 2012 Datacenter", kKms},
    {"HTDQM-NBMMG-KGYDT-2DTKT-J2MPV", "Windows Server 2012 Essentials", kKms},
    {"6TPJF-RBVHG-WBW2R-86QPH-6RTM4", "Windows Server 2008 R2 Web", kKms},
    {"TT8MH-CG224-D3D7Q-498W2-9QCTX", "Windows Server 2008 R2 HPC edition", kKms},
    {"YC6KT-GKW9T-YTKYR-T4X34-R7VHC", "Windows Server 2008 R2 Standard", kKms},
    {"489J6-VHDMP-X63PK-3K798-CPX3Y", "Windows Server 2008 R2 Enterprise", kKms},
    {"74YFP-3QFB3-KQT8W-PMXWJ-7M648", "Windows Server 2008 R2 Datacenter", kKms},
    {"GT63C-RJFQ3-4GMB6-BRFB9-CB83V", "Windows Server 2008 R2 for Itanium-based Systems", kKms},
    {"WYR28-R7TFJ-3X2YQ-YCY4H-M249D", "Windows Web Server 2008", kKms},
    {"TM24T-X9RMF-VWXK6-X8JC9-BFGM2", "Windows Server 2008 Standard", kKms},
    {"W7VD6-7JFBR-RX26B-YKQ3Y-6FFFJ", "Windows Server 2008 Standard without Hyper-V", kKms},
    {"YQGMW-MPWTJ-34KDK-48M3W-X4Q6V", "Windows Server 2008 Enterprise", kKms},
    {"39BXF-X8Q23-P2WWT-38T2F-G3FPG", "Windows Server 2008 Enterprise without Hyper-V", kKms},
    {"RCTX3-KWVHP-BR6TB-RB6DM-6X7HP", "Windows Server 2008 HPC", kKms},
    {"7M67G-PC374-GR742-YH8V4-TCBY3", "Windows Server 2008 Datacenter", kKms},
    {"22XQ2-VRXRG-P8D42-K34TD-G3QQC", "Windows Server 2008 Datacenter without Hyper-V", kKms},
    {"4DWFP-JF3DJ-B7DTH-78FJB-PDRHK", "Windows Server 2008 for Itanium-Based Systems", kKms},
};

}  // namespace

const PublishedKey* FindPublishedKey(std::string_view key) {
  for (const PublishedKey& published : kPublished) {
    if (key == published.key) return &published;
  }
  return nullptr;
}

}  // namespace taloveric
