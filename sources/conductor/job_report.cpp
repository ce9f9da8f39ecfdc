#include "conductor/job_report.hpp"

#include "common/files.hpp"
#include "common/json_text.hpp"

namespace tesmira::conductor {

void publish_with_job_report(PartialFolder& folder, const Json& report, const std::filesystem::path& final_path) {
    write_text_file(folder.path() / "検版情報.json", indented_json(report));
    folder.publish(final_path);
}

}  // namespace tesmira::conductor
