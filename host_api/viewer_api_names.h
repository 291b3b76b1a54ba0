// Every function name the viewer exports for plug-ins, in the order the
// plug-in resolves them at library start, letter for letter as the viewer
// spells them (get_measure_stare, get_plugin_massage, ...).
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace host_api {

inline constexpr std::size_t kViewerFunctionCount = 259;

// clang-format off
inline constexpr std::array<std::string_view, kViewerFunctionCount> kViewerFunctionNames = {
    "create_button", "set_button_text", "set_button_image", "load_ifc",
    "select", "get_selected_id", "get_all_objects_id", "set_color",
    "set_color_object", "set_default_color", "use_selection_color", "treat_openings_as_normal_objects",
    "set_visible", "set_visible_object", "set_visible_many", "set_visible_many_objects",
    "set_visible_color_rgb", "set_object_default_color", "set_object_color", "set_object_edge_color",
    "set_object_edge_default_color", "set_object_visible", "set_object_active", "unselect_openings",
    "select_many", "apply_select_rules", "zoom_to", "zoom_to_in_view",
    "zoom_to_box", "get_camera_pos", "get_direction_camera", "set_direction_camera",
    "get_cutting_planes", "set_cutting_planes", "invalidate", "get_draw_time",
    "get_all_objects", "get_selected", "get_visible", "get_active",
    "get_current_product", "get_object_state", "is_visible", "is_transparent",
    "is_selected", "is_active", "has_representation", "get_bound",
    "get_offset", "set_offset", "get_childs", "get_object_info",
    "get_object_info2", "set_user_data", "get_user_data", "get_project",
    "get_building", "get_storey", "get_parent", "get_object_materials",
    "get_object_materials2", "get_object_materials3", "get_object_type_style", "get_layers",
    "get_layer_objects", "get_zones", "get_zones2", "get_zone_objects",
    "get_systems", "get_system_objects", "get_groups", "get_group_objects",
    "get_property_sets", "get_properties", "get_properties2", "filter_properties",
    "select_property", "delete_object_property_or_set", "add_or_change_object_property", "get_object_properties",
    "get_material_properties", "get_type_style_properties", "get_classifications", "get_classification_references",
    "get_projects_offsets", "get_object_classification_references", "get_classification_data", "get_classification_reference_data",
    "get_unit_factor", "first_geometry", "get_total_geometry_bounds", "get_geometry",
    "get_geometry_color", "get_geometry_edges", "next_geometry", "on_measure_change",
    "on_tab_sheet_placement", "on_tab_sheet_change", "get_measure", "get_measure_objects",
    "get_measure_elements", "clear_measure", "set_measure_type", "get_volume",
    "get_centroid", "get_total_area", "get_measure_stare", "set_measure_state",
    "get_measure_count", "get_detailed_measure_state", "set_detailed_measure_state", "change_measure_state_density",
    "construct_measure_state", "get_plugin_massage", "send_plugin_massage", "on_plugin_message",
    "get_project_path", "get_loaded_ifc_path", "get_loaded_ifc_files_count", "get_loaded_ifc_filename",
    "add_ifc", "calculate_object_id", "on_model_load", "on_model_clear",
    "file_was_added", "begin_read_bvf", "read_bvf", "get_bvf_size",
    "on_save_bvfy", "begin_write_bvf", "write_bvf", "can_clear_model",
    "need_save_bvf", "save_files", "need_save_changes", "on_object_list_changed",
    "on_selection_change", "on_hover", "get_clicked_pos", "get_clicked_normal",
    "get_hovered_pos", "set_hover_objects", "get_dropped_pos", "on_draw",
    "set_draw_object_id", "on_draw_object_click", "get_draw_object_id", "draw_point",
    "draw_line", "draw_sphere", "create_intersection_solid", "delete_solid",
    "draw_solid", "get_solid_volume", "get_solid_area", "get_solid_center_point",
    "zoom_to_solids", "zoom_to_objects", "draw_pyramid", "load_icon_image",
    "draw_icon", "draw_label", "get_element_pos", "set_drag_mode",
    "create_user_object", "delete_user_object", "check_triangle", "add_geometry_user_object",
    "delete_geometry_user_object", "set_geometry_edges_user_object", "save_file_as", "get_language",
    "load_texts", "get_text", "get_text_global", "get_entity_type_name",
    "get_object_below_mouse", "create_tab_sheet", "active_tab_sheet", "close_tab_sheet",
    "show_tab_sheet", "is_active_tab_sheet", "create_tab", "create_group",
    "show_group", "create_small_button", "create_checkbox", "create_radio_button",
    "create_dropdown_button", "create_sub_button", "create_sub_button2", "add_button",
    "add_separator", "show_button", "set_button_small_large", "set_button_state",
    "set_button_shortcut", "set_button_don", "set_button_guid", "enable_button",
    "clicked_button", "begin_control_groip", "on_context_menu", "add_context_button",
    "clear_context_menu", "create_gallery_button", "set_gallery_style", "create_gallery_category",
    "set_gallery_category_text", "set_gallery_category_style", "delete_gallery_category", "create_gallery_item",
    "set_gallery_item_text", "set_gallery_item_image", "delete_gallery_item", "clear_gallery",
    "on_gallery_item", "is_center_view", "get_active_tab", "on_tab_change",
    "get_gui_color", "get_gui_theme", "message_box", "set_open_dialog_params",
    "open_file_dialog", "get_open_dialog_file_count", "get_open_dialog_file_nr", "set_save_dialog_params",
    "set_save_dialog_default_extension", "save_dialog", "get_save_dialog_name", "show_progress_bar",
    "update_progress_bar", "get_view_rect", "show_ifc_structure_grid", "set_ribbon_state",
    "set_grids_state", "item_command", "set_item_value", "get_item_value",
    "is_touch_mode", "get_view_state", "set_view_state", "render_screenshot",
    "set_screenshot_style", "get_2d_bounds", "project_to_2d", "recalc_cross_sections",
    "set_cross_sections_style", "close_application", "debug_test", "get_object_edges",
    "get_object_area", "get_object_deafult_color", "get_transparency", "add_color_to_transparency_list",
    "get_measure_v1", "get_grids_state", "extract_file_from_bvf",
};
// clang-format on

// Position of a name in the list; a name that is not listed does not compile.
consteval std::size_t ViewerFunctionIndex(std::string_view name) {
  for (std::size_t i = 0; i < kViewerFunctionNames.size(); ++i) {
    if (kViewerFunctionNames[i] == name) return i;
  }
  throw "not a viewer function";
}

}  // namespace host_api
