// Replaced as the folder fills.
namespace qm_placeholder_service {}
