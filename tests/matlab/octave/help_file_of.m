function file = help_file_of(name)
%HELP_FILE_OF  The help file NAME.m of the build ($MEX_FOLDER): here the shims hold NAME.m.
file = fullfile(getenv('MEX_FOLDER'), [name '.m']);
end
